#pragma once
// The events of a run, as lines of its log: what an administrator needs to know what happened
// on one PC out of many. The texts are Spanish, like everything the program says.
#include <chrono>
#include <cstddef>

#include "platform/error.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "run/ExitStatus.h"

// "vista de 32 bits" or "vista de 64 bits", as the log and the report of /list name a view.
Text ViewName(platform::RegistryView view);

// The notice a user of another session gets before the suite's programs there are closed.
Text ClosingNotice(const std::vector<Text>& programs, std::chrono::seconds wait);

// Where msiexec writes its verbose log for the component of that key: in the folder given,
// "DesinstalaKavro1-msi-<key>.log" (what a file name cannot hold as '_'); empty without one.
Text MsiexecLogPath(const Text& folder, const Text& keyName);

class RunLog {
 public:
  // The longest text of one entry: a longer one is cut (anyone may register a program named
  // with hundreds of thousands of characters, and the log is the administrators').
  static constexpr std::size_t kLongestEntry = 8192;

  explicit RunLog(platform::LogFile& file) : file_(file) {}

  // logPath: the file this log is written to (empty when there is none).
  void Started(const Text& version, const Text& commandLine, const Text& user,
               bool someoneCanAnswer, const Text& logPath = Text());
  // One view's listing of the installed programs: how many subkeys, and from where (the
  // registry functions when the provider failed or did not answer in time).
  void Listed(platform::RegistryView view, int count, bool fromRegistryFunctions,
              bool providerTimedOut = false);
  // A component, with its quiet command when that is the one it is removed with.
  void Found(const Text& keyName, platform::RegistryView view, const Text& displayName,
             const Text& command, const Text& quietCommand = Text());
  // A value longer than the longest read, cut to it.
  void ValueCut(const Text& key, const Text& valueName);
  // quiet: the command handed over is the entry's QuietUninstallString.
  // othersCouldReplace: its program, in c:\kavro once taken over, could be changed by others;
  // component: which it removes ("clave ..., nombre ...").
  void NotStarted(const Text& command, bool quiet = false, bool othersCouldReplace = false,
                  const Text& component = Text());
  // The suite in another user's own list of installed programs: named, never run.
  void PerUserComponent(const Text& key, const Text& displayName);
  // The program of a command that ran is in a file or folder other users may change.
  void OthersCanReplace(const Text& command);
  void AlreadyGone(const Text& keyName);
  // One uninstaller's end: how long it ran, its exit code, the programs it started that were
  // waited for (and those given up on), whether its registry entry is gone, and the verdict
  // on its component, which names it and sets the line's severity.
  struct Judged {
    bool entryGone = false;
    bool packagePath = false;  // judged by msiexec's exit code
    Verdict verdict = Verdict::Removed;
    Text component;            // "clave ..., nombre ..."
  };
  void Ran(const Text& command, bool quiet, std::chrono::milliseconds duration,
           const platform::Ending& ending, const Judged& judged, const Text& msiexecLog = Text());
  // A component's uninstall reached the time limit: the programs of it that were ended.
  void TimeLimitReached(const Text& keyName, const Text& command, std::chrono::seconds limit,
                        const std::vector<Text>& ended);
  // The text of a message box; an invalid command line's usage text is an error.
  void Message(const Text& text, platform::Severity severity = platform::Severity::Information);
  void Error(const platform::Error& error);
  // The user has no desktop folder (its path when the platform gave one).
  void NoDesktop(const Text& path);
  void DeletedShortcut(const Text& path);
  void InstallFolderIsLink(const Text& path);
  // Taking c:\kavro over: what others could change before, each link removed, each entry that
  // refused, and the outcome (when it was not taken whole, nothing runs from it).
  void OthersCouldChange(const Text& folder, const Text& first);
  // As OthersCouldChange, found by an earlier run whose take-over made them the administrators'.
  void OthersCouldChangeBefore(const Text& folder, const Text& first);
  void LinkRemoved(const Text& path);
  void NotTaken(const Text& path, const platform::Error& error);
  void InstallFolderTaken(const Text& folder, bool whole);
  // There was no install folder: one of the administrators' was made to hold its name while
  // the uninstallers run; at the end, removed (or left: something is in it now).
  void InstallFolderMade(const Text& folder);
  void InstallFolderMadeRemoved(const Text& folder, bool removed);
  // The install folder, held since the take-over, was empty at the end and is gone.
  void EmptyInstallFolderRemoved(const Text& folder);
  void NotRunInstallFolderRefused(const Text& keyName, const Text& displayName,
                                  const Text& folder);
  // A folder past the deepest level a walk goes to, left where it is.
  void TooDeep(const Text& path);
  // The install folder is there but could not be opened without following links.
  void InstallFolderNotHeld(const Text& path, const platform::Error& error);
  void DataFolderIsLink(const Text& path);
  void DeletedDataFolder(const Text& path, std::size_t files);
  // Deleted as far as it could be, but still there.
  void DataFolderLeft(const Text& path, std::size_t files);
  void HeldByAnotherProgram(const Text& path);
  // msiexec runs without a log of its own: the administrators' log folder could not be had
  // for any (once), or its file for one component could not be made.
  void NoMsiexecLogFolder(const platform::Error& error);
  void NoMsiexecLog(const Text& path, const platform::Error& error);
  // Kept for the next run while components remain: the data folder (the suite is still
  // installed), and a file a remaining component's command names, with that component.
  void DataFolderKept(const Text& path, const std::vector<Text>& components);
  void KeptForRetry(const Text& path, const Text& component);
  // One of the suite's programs that was running: its session and user, whether its user was
  // told (nothing: in our own session, no notice is due; else the notice's failure, if any),
  // and whether it closed by itself, was ended, or was left running.
  void ClosedProgram(const platform::RunningProgram& program, platform::Closing closing,
                     const std::optional<std::optional<platform::Error>>& notice);
  void DeletedExecutable(const Text& path);
  void Ended(int exitStatus);
  // One line of the report of what a run would do (/list), and its end: whether something of
  // the suite is on the computer.
  void Reported(const Text& line, bool warning);
  void InventoryEnded(int exitStatus, bool suitePresent);
  // The only line of a run that found another run of the program under way and did nothing.
  void AnotherRunUnderWay(int exitStatus);
  // The run could not be marked (the lock file at `path`): it goes on without a mark.
  void Unmarked(const Text& path, const platform::Error& error);
  // The uninstallers' temporary folder made for this run, or why there is none; and, at the
  // end, one that could not be removed whole.
  void UninstallersTemp(const Text& path);
  void NoUninstallersTemp(const platform::Error& error);
  void UninstallersTempLeft(const Text& path);
  // The session ends (logoff or shutdown) during the step named: the last line of the run.
  void CutShort(const Text& step);
  // The file /log named could not be used (why): the log is the default one; its first line.
  void LogRefused(const Text& path, const platform::Error& error);
  // An earlier run did not reach its end (ended from outside, or the PC went off): when it
  // started, and the step it had reached (empty when not known).
  void EarlierRunCut(const Text& started, const Text& step);
  // The uninstallers' temporary folder of an earlier run, removed; or left (something in it
  // is held).
  void EarlierTempRemoved(const Text& path);
  void EarlierTempLeft(const Text& path);
  // The run's receipt for detection rules, in the registry key named (its values), or why not.
  void ReceiptRecorded(const Text& key, const Receipt& receipt);
  void ReceiptNotRecorded(const Text& key, const platform::Error& error);
  // How many more of the user's own entries of the suite there are, beyond those named.
  void PerUserComponentsUnnamed(const Text& user, std::size_t count);
  // A process whose program file could not be read: it may be one of the suite's, left open.
  void UnreadableProcess(const platform::RunningProgram& process);
  // The notice to a session, with the session's connection (a disconnected user sees nothing);
  // `error`: why it could not be given.
  void Notice(std::uint32_t session, platform::Connection connection,
              const std::optional<platform::Error>& error, std::chrono::seconds timeout);

 private:
  void Write(platform::Severity severity, const Text& text);

  platform::LogFile& file_;
};
