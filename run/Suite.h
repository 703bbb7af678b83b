#pragma once
// The suite on a PC: where it lives, and how its components are found. Shared by the run and by
// the report of what a run would do (/list), so that both see the same.
#include <functional>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "run/ComponentRow.h"
#include "run/RunLog.h"

namespace suite {

inline constexpr platform::HiveHandle kHive = platform::kHkeyLocalMachine;
inline const Text kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline const Text kInstallFolder = u"c:\\kavro";
inline const Text kInstallFolderPrefix = u"c:\\kavro\\";
inline const Text kDataFolder = u"c:\\kavro\\datos";
inline const Text kExecutablePattern = u"*.exe";
inline const Text kShortcutName = u"\\KavroII.lnk";

// One component of the suite in the machine-wide list of installed programs.
struct Component {
  Text keyName;
  Text displayName;
  platform::RegistryView view;  // every later look at its entry is in this view
  Text uninstallString;         // as read: what its row shows
  ChosenCommand chosen;         // the command it is removed with
};

// Every component, the 32-bit view first, then 64-bit Windows' own: each view's listing, and
// each component found, logged as it comes. Where nobody can answer, a component's
// QuietUninstallString is read too (and removes it when it has one).
std::vector<Component> FindComponents(platform::Registry& registry, RunLog& log,
                                      bool someoneCanAnswer);

// Of one user's own list of installed programs (which has one view: it is not redirected for
// 32-bit programs), the entries of the suite named, and how many more there are.
struct UserEntries {
  Text user;                 // HKEY_USERS\<profile>
  std::vector<Text> keys;    // full key paths, the first kPerUserNamed, each cut to kLongestName
  std::size_t unnamed = 0;   // the user's entries of the suite beyond those
};
// Any user may write thousands of entries into their own list: the log and the report name a
// few of each user's, and count the rest; a name longer than this is cut.
inline constexpr std::size_t kPerUserNamed = 10;
inline constexpr std::size_t kLongestName = 300;

// The suite in the per-user lists of installed programs of the profiles loaded (the running
// user's among them): another user's, never removed by this program; each named logged as a
// warning, with one line more for a user's unnamed ones.
std::vector<UserEntries> FindPerUserComponents(platform::Registry& registry, RunLog& log);

// The text cut to kLongestName characters, marked as cut.
Text CutName(const Text& name);

// Every desktop the shortcut may be on: the running user's and the one shared by all users
// (as the shell names them; nothing for one the user has not), and each user profile's
// (profiles from the registry's profile list, their desktop as the profile's own "Desktop"
// folder and, where that user's hive is loaded, the one that user's shell folders name: local
// folders only), each once. `expand` expands a value's %VARIABLE% references.
std::vector<Text> Desktops(platform::Registry& registry, const std::optional<Text>& user,
                           const std::optional<Text>& shared,
                           const std::function<Text(const Text&)>& expand);

// The data folder among the install folder's entries, as its listing shows it.
std::optional<platform::Entry> DataFolderIn(platform::Folder& install);

// True for a name the sweep deletes: every executable but the main one, kavro.exe, in any case.
bool IsStrayExecutable(const Text& name);

}  // namespace suite
