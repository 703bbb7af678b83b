#include "platform/text.h"

#include <string>

namespace {

char16_t UpperUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

}  // namespace

Text DecimalText(long long value) {
  const std::string digits = std::to_string(value);
  return Text(digits.begin(), digits.end());
}

Text UpperCase(TextView text) {
  Text upper(text);
  for (char16_t& c : upper) c = UpperUnit(c);
  return upper;
}

bool WildcardMatch(TextView pattern, TextView name) {
  // Classic two-pointer match with back-tracking to the last '*': linear in practice and
  // never recursive, whatever the pattern.
  std::size_t p = 0, n = 0, star = TextView::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || UpperUnit(pattern[p]) == UpperUnit(name[n]))) {
      ++p;
      ++n;
    } else if (star != TextView::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}
