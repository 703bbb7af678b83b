#pragma once
// The registry on Windows: subkeys through the WMI registry provider StdRegProv (EnumKey on
// the local machine's root\default, impersonation level "impersonate"), values through the
// registry functions. Both read the 32-bit view, where a 32-bit program's entries live on
// 64-bit Windows.
#include "platform/registry.h"

namespace win32 {

class Registry final : public platform::Registry {
 public:
  std::vector<Text> EnumKey(platform::HiveHandle hive, const Text& keyPath) override;
  std::optional<platform::Value> QueryValue(platform::HiveHandle hive, const Text& keyPath,
                                            const Text& valueName) override;
  bool KeyExists(platform::HiveHandle hive, const Text& keyPath) override;
};

}  // namespace win32
