#pragma once
// ValorClaveReg: one registry value read as text.
#include <cstddef>

#include "platform/registry.h"

namespace ValorClaveReg {

// The characters before the first NUL, or the whole text when it holds none.
Text CutAtNul(const Text& text);

// The value's data as text, whatever its type (its bytes taken as 16-bit code units), cut at
// the first NUL and at kLongestValue characters; the empty text when the key or the value
// cannot be read.
// Never fails and never shows anything.
Text ReadRegistryString(platform::Registry& registry, platform::HiveHandle hive,
                        const Text& keyPath, const Text& valueName,
                        platform::RegistryView view = platform::RegistryView::ThirtyTwoBit);

// The longest text a value is read as: the longest command line Windows starts. Anyone may
// write their own list's values, of any length; a longer one is cut there (and `cut` says so).
inline constexpr std::size_t kLongestValue = 32767;

// The same text, and whether the value is stored as an expandable string (REG_EXPAND_SZ),
// whose %VARIABLE% references are meant to be expanded before use.
struct RegistryText {
  Text text;
  bool expandable = false;
  bool cut = false;  // longer than kLongestValue: cut to it
};
RegistryText ReadRegistryText(platform::Registry& registry, platform::HiveHandle hive,
                              const Text& keyPath, const Text& valueName,
                              platform::RegistryView view = platform::RegistryView::ThirtyTwoBit);

}  // namespace ValorClaveReg
