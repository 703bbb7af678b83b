#pragma once
// The registry on Windows: subkeys through the WMI registry provider StdRegProv (EnumKey on
// the local machine's root\default, impersonation level "impersonate", with the view asked
// for in __ProviderArchitecture), or through RegEnumKeyExW; values through the registry
// functions, with the view's KEY_WOW64_* flag; under HKEY_LOCAL_MACHINE each key opened
// relative to its parent, which is kept open for the next key of the same parent (discovery
// reads every entry of one key: a path opened whole from the root costs a lookup of each of
// its steps; a user's hive is never kept open, so that it unloads at log-off). A provider that
// does not answer within its bound is given up on, then and for the rest of the run.
#include <chrono>

#include "platform/win32/unique.h"

#include "platform/registry.h"

namespace win32 {

class Registry final : public platform::Registry {
 public:
  explicit Registry(std::chrono::milliseconds providerBound = std::chrono::seconds(30)) :
      providerBound_(providerBound) {}
  bool HasSixtyFourBitView() override;
  std::optional<std::vector<Text>> EnumKey(platform::HiveHandle hive, const Text& keyPath,
                                           platform::RegistryView view) override;
  bool ProviderTimedOut() const override { return providerTimedOut_; }
  std::vector<Text> EnumKeyDirect(platform::HiveHandle hive, const Text& keyPath,
                                  platform::RegistryView view) override;
  std::optional<platform::Value> QueryValue(platform::HiveHandle hive, const Text& keyPath,
                                            const Text& valueName, platform::RegistryView view) override;
  bool KeyExists(platform::HiveHandle hive, const Text& keyPath, platform::RegistryView view) override;

 private:
  // hive\keyPath opened for reading, relative to its parent kept open.
  UniqueKey Open(platform::HiveHandle hive, const Text& keyPath, platform::RegistryView view);

  std::chrono::milliseconds providerBound_;
  bool providerTimedOut_ = false;
  struct Parent {  // under HKEY_LOCAL_MACHINE
    Text path;
    platform::RegistryView view{};
    UniqueKey key;
  } parent_;
};

}  // namespace win32
