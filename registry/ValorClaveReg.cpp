#include "registry/ValorClaveReg.h"

#include <algorithm>

namespace ValorClaveReg {

Text CutAtNul(const Text& text) { return text.substr(0, text.find(u'\0')); }

Text ReadRegistryString(platform::Registry& registry, platform::HiveHandle hive,
                        const Text& keyPath, const Text& valueName, platform::RegistryView view) {
  return ReadRegistryText(registry, hive, keyPath, valueName, view).text;
}

RegistryText ReadRegistryText(platform::Registry& registry, platform::HiveHandle hive,
                              const Text& keyPath, const Text& valueName,
                              platform::RegistryView view) {
  const auto value = registry.QueryValue(hive, keyPath, valueName, view);
  if (!value) return {};
  const std::vector<std::uint8_t>& data = value->data;
  // Little-endian code units; an odd last byte stands alone as the low half of a unit.
  Text text;
  text.reserve(std::min((data.size() + 1) / 2, kLongestValue + 1));
  for (std::size_t i = 0; i < data.size() && text.size() <= kLongestValue; i += 2) {
    const unsigned high = i + 1 < data.size() ? data[i + 1] : 0u;
    text.push_back(static_cast<char16_t>(data[i] | (high << 8)));
  }
  text = CutAtNul(text);
  const bool cut = text.size() > kLongestValue;
  if (cut) text.resize(kLongestValue);
  return {text, value->type == platform::kRegExpandSz, cut};
}

}  // namespace ValorClaveReg
