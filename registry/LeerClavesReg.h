#pragma once
// LeerClavesReg: the subkeys of one registry key, as a record of names and full paths.
#include <cstdint>
#include <vector>

#include "platform/registry.h"

namespace LeerClavesReg {

struct UninstallKeyList {
  std::vector<Text> Names;      // bare subkey names, in the provider's order
  std::vector<Text> FullPaths;  // HiveName(hive) + "\" + key path + "\" + name
  std::int16_t Count = 0;       // 0 to 32,767; both lists hold exactly Count elements
  bool fromRegistryFunctions = false;  // the provider failed; the registry functions listed
  bool providerTimedOut = false;       // it failed by not answering in time
};

// "HKEY_LOCAL_MACHINE" and the other predefined roots; the empty text for any other value.
Text HiveName(platform::HiveHandle hive);

// Never fails: with no key or no subkeys the record is empty. Where the provider cannot be
// reached or its call fails, the registry functions list the same view's subkeys instead.
// Names stop at the first empty name and at 32,767.
UninstallKeyList EnumerateSubkeys(
    platform::Registry& registry, platform::HiveHandle hive, const Text& keyPath,
    platform::RegistryView view = platform::RegistryView::ThirtyTwoBit);

}  // namespace LeerClavesReg
