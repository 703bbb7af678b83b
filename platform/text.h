#pragma once
// Text as the program holds it: sequences of 16-bit code units on every platform, so that
// widths such as the 100-character name field count the same natively and on Windows.
#include <string>
#include <string_view>

using Text = std::u16string;
using TextView = std::u16string_view;

// Upper-cases the letters of basic Latin and Latin-1 (a-z, à-þ except ÷); every other code
// unit is kept. The product word, the sibling's name and "kavro.exe" are all plain capitals,
// so these rules are all that the comparisons need.
Text UpperCase(TextView text);

// Wildcard match of a whole name against a pattern with '*' (any run) and '?' (any one code
// unit), ignoring letter case as UpperCase does.
bool WildcardMatch(TextView pattern, TextView name);

// The decimal digits of a number, with a minus sign when it is negative.
Text DecimalText(long long value);
