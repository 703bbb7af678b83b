#include "registry/LeerClavesReg.h"

#include <limits>

namespace LeerClavesReg {

Text HiveName(platform::HiveHandle hive) {
  switch (static_cast<std::uint32_t>(hive)) {
    case 0x80000000u: return u"HKEY_CLASSES_ROOT";
    case 0x80000001u: return u"HKEY_CURRENT_USER";
    case 0x80000002u: return u"HKEY_LOCAL_MACHINE";
    case 0x80000003u: return u"HKEY_USERS";
    case 0x80000005u: return u"HKEY_CURRENT_CONFIG";
    case 0x80000006u: return u"HKEY_DYN_DATA";
    default: return Text();
  }
}

UninstallKeyList EnumerateSubkeys(platform::Registry& registry, platform::HiveHandle hive,
                                  const Text& keyPath, platform::RegistryView view) {
  // A provider that fails (service disabled, repository damaged, access denied) must not make
  // an installed suite look absent.
  std::optional<std::vector<Text>> listed = registry.EnumKey(hive, keyPath, view);
  const bool fromRegistryFunctions = !listed;
  const std::vector<Text> names = listed ? std::move(*listed) : registry.EnumKeyDirect(hive, keyPath, view);

  // Counting pass: the names before the first empty one, at most 32,767 of them.
  constexpr std::int16_t kMaxCount = std::numeric_limits<std::int16_t>::max();
  std::int16_t count = 0;
  for (const Text& name : names) {
    if (name.empty()) break;
    if (count < kMaxCount) ++count;
  }

  UninstallKeyList list;
  list.fromRegistryFunctions = fromRegistryFunctions;
  list.providerTimedOut = fromRegistryFunctions && registry.ProviderTimedOut();
  if (count == 0) return list;

  // Filling pass: the first Count names, each with its full path.
  const Text prefix = HiveName(hive) + u'\\' + keyPath + u'\\';
  list.Count = count;
  list.Names.assign(names.begin(), names.begin() + count);
  list.FullPaths.reserve(static_cast<std::size_t>(count));
  for (const Text& name : list.Names) list.FullPaths.push_back(prefix + name);
  return list;
}

}  // namespace LeerClavesReg
