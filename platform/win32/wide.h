#pragma once
// Text meets the wide-character API here: on Windows wchar_t and char16_t are both 16-bit
// code units, so the conversion is a view, never a re-encoding.
#include <string>

#include "platform/text.h"

namespace win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::wstring WideString(TextView text) { return std::wstring(text.begin(), text.end()); }
inline Text ToText(const wchar_t* chars, std::size_t count) {
  return Text(reinterpret_cast<const char16_t*>(chars), count);
}
inline Text ToText(const std::wstring& text) { return ToText(text.data(), text.size()); }
inline Text ToText(const wchar_t* chars) {
  return chars ? ToText(chars, std::char_traits<wchar_t>::length(chars)) : Text();
}

}  // namespace win32
