#include "run/Suite.h"

#include "registry/LeerClavesReg.h"
#include "registry/ValorClaveReg.h"

namespace suite {
namespace {

const Text kDataFolderName = u"DATOS";
const Text kMainExecutable = u"KAVRO.EXE";
constexpr platform::HiveHandle kUsers =
    static_cast<platform::HiveHandle>(0x80000003u);  // HKEY_USERS
const Text kPerUserKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const Text kProfileList = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const Text kShellFolders =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

}  // namespace

std::vector<Component> FindComponents(platform::Registry& registry, RunLog& log,
                                      bool someoneCanAnswer) {
  std::vector<Component> components;
  std::vector<platform::RegistryView> views = {platform::RegistryView::ThirtyTwoBit};
  if (registry.HasSixtyFourBitView()) views.push_back(platform::RegistryView::SixtyFourBit);
  for (const platform::RegistryView view : views) {
    const LeerClavesReg::UninstallKeyList keys =
        LeerClavesReg::EnumerateSubkeys(registry, kHive, kUninstallKey, view);
    log.Listed(view, keys.Count, keys.fromRegistryFunctions, keys.providerTimedOut);
    for (int i = 0; i < keys.Count; ++i) {
      const Text& keyName = keys.Names[static_cast<std::size_t>(i)];
      const Text keyPath = kUninstallKey + u'\\' + keyName;
      const ValorClaveReg::RegistryText name =
          ValorClaveReg::ReadRegistryText(registry, kHive, keyPath, u"DisplayName", view);
      const Text& displayName = name.text;
      if (!IsSuiteComponent(displayName)) continue;
      const ValorClaveReg::RegistryText command =
          ValorClaveReg::ReadRegistryText(registry, kHive, keyPath, u"UninstallString", view);
      // The quiet command matters only where nobody can answer; it is not read otherwise.
      const ValorClaveReg::RegistryText quiet =
          someoneCanAnswer ? ValorClaveReg::RegistryText{}
                           : ValorClaveReg::ReadRegistryText(registry, kHive, keyPath,
                                                             u"QuietUninstallString", view);
      for (const auto& [value, valueName] : {std::pair{&name, u"DisplayName"},
                                             {&command, u"UninstallString"},
                                             {&quiet, u"QuietUninstallString"}})
        if (value->cut) log.ValueCut(keyName, valueName);
      const ChosenCommand chosen = ChooseCommand(command, quiet, someoneCanAnswer);
      log.Found(keyName, view, displayName, command.text,
                chosen.quiet ? chosen.command.text : Text());
      components.push_back({keyName, displayName, view, command.text, chosen});
    }
  }
  return components;
}

std::vector<UserEntries> FindPerUserComponents(platform::Registry& registry, RunLog& log) {
  std::vector<UserEntries> found;
  for (const Text& profile :
       registry.EnumKeyDirect(kUsers, Text(), platform::RegistryView::ThirtyTwoBit)) {
    // .DEFAULT is the SYSTEM account's, also loaded as S-1-5-18; *_Classes hold no programs.
    if (UpperCase(profile) == u".DEFAULT" || UpperCase(profile).ends_with(u"_CLASSES")) continue;
    const Text key = profile + u'\\' + kPerUserKey;
    UserEntries user{u"HKEY_USERS\\" + CutName(profile), {}, 0};
    for (const Text& name :
         registry.EnumKeyDirect(kUsers, key, platform::RegistryView::ThirtyTwoBit)) {
      const ValorClaveReg::RegistryText displayName =
          ValorClaveReg::ReadRegistryText(registry, kUsers, key + u'\\' + name, u"DisplayName");
      if (!IsSuiteComponent(displayName.text)) continue;
      if (user.keys.size() == kPerUserNamed) {
        ++user.unnamed;
        continue;
      }
      user.keys.push_back(u"HKEY_USERS\\" + CutName(key + u'\\' + name));
      if (displayName.cut) log.ValueCut(user.keys.back(), u"DisplayName");
      log.PerUserComponent(user.keys.back(), CutName(displayName.text));
    }
    if (user.unnamed) log.PerUserComponentsUnnamed(user.user, user.unnamed);
    if (!user.keys.empty()) found.push_back(std::move(user));
  }
  return found;
}

Text CutName(const Text& name) {
  return name.size() <= kLongestName ? name : name.substr(0, kLongestName) + u"… (cortado)";
}

std::vector<Text> Desktops(platform::Registry& registry, const std::optional<Text>& user,
                           const std::optional<Text>& shared,
                           const std::function<Text(const Text&)>& expand) {
  std::vector<Text> desktops;
  const auto add = [&](const Text& folder) {
    for (const Text& known : desktops)
      if (UpperCase(known) == UpperCase(folder)) return;
    desktops.push_back(folder);
  };
  // A local folder ("C:\\..."): a redirected desktop on a share is out of SYSTEM's reach.
  const auto addLocal = [&](const Text& folder) {
    if (folder.size() >= 3 && folder[1] == u':' && folder[2] == u'\\') add(folder);
  };
  for (const std::optional<Text>& folder : {user, shared})
    if (folder) add(*folder);
  const platform::RegistryView view = registry.HasSixtyFourBitView()
                                          ? platform::RegistryView::SixtyFourBit
                                          : platform::RegistryView::ThirtyTwoBit;
  for (const Text& sid : registry.EnumKeyDirect(kHive, kProfileList, view)) {
    Text profile = expand(ValorClaveReg::ReadRegistryString(
        registry, kHive, kProfileList + u'\\' + sid, u"ProfileImagePath", view));
    while (!profile.empty() && profile.back() == u'\\') profile.pop_back();
    if (profile.empty()) continue;
    addLocal(profile + u"\\Desktop");
    // That user's own choice, where their hive is loaded (%USERPROFILE% is theirs, not ours).
    Text named = ValorClaveReg::ReadRegistryString(registry, kUsers, sid + u'\\' + kShellFolders,
                                                   u"Desktop", view);
    const Text variable = u"%USERPROFILE%";
    if (const std::size_t at = UpperCase(named).find(variable); at != Text::npos)
      named.replace(at, variable.size(), profile);
    if (named.find(u'%') == Text::npos) addLocal(named);
  }
  return desktops;
}

std::optional<platform::Entry> DataFolderIn(platform::Folder& install) {
  for (platform::Entry& entry : install.Entries())
    if (entry.folder && UpperCase(entry.name) == kDataFolderName) return std::move(entry);
  return std::nullopt;
}

bool IsStrayExecutable(const Text& name) {
  return WildcardMatch(kExecutablePattern, name) && UpperCase(name) != kMainExecutable;
}

}  // namespace suite
