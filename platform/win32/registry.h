#pragma once
// The registry on Windows: subkeys through the WMI registry provider StdRegProv (EnumKey on
// the local machine's root\default, impersonation level "impersonate", with the view asked
// for in __ProviderArchitecture), or through RegEnumKeyExW; values through the registry
// functions, with the view's KEY_WOW64_* flag.
#include "platform/registry.h"

namespace win32 {

class Registry final : public platform::Registry {
 public:
  bool HasSixtyFourBitView() override;
  std::optional<std::vector<Text>> EnumKey(platform::HiveHandle hive, const Text& keyPath,
                                           platform::RegistryView view) override;
  std::vector<Text> EnumKeyDirect(platform::HiveHandle hive, const Text& keyPath,
                                  platform::RegistryView view) override;
  std::optional<platform::Value> QueryValue(platform::HiveHandle hive, const Text& keyPath,
                                            const Text& valueName, platform::RegistryView view) override;
  bool KeyExists(platform::HiveHandle hive, const Text& keyPath, platform::RegistryView view) override;
};

}  // namespace win32
