#pragma once
// The process's exit status, which deployment tools read, and what each value means.
#include <cstdint>
#include <optional>

#include "platform/text.h"

// Where several apply, the first in this order wins: 2, 1, 1618, 3, 1641, 3010, 0.
enum ExitStatus : int {
  kExitCompleted = 0,              // the run reached its end and every component is gone
  kExitCommandNotStarted = 1,      // the run reached its end, but some command could not be started
  kExitErrorBox = 2,               // the run did not reach its end: it ended on the error box
  kExitComponentsRemain = 3,       // something of the suite remains: a component still registered
                                   // after its uninstaller ran, or a file another program held
  kExitRetry = 1618,               // as 3, and one of those uninstallers said another installation
                                   // was in progress; or another run of this program was under way
                                   // and nothing was done: worth trying again later
  kExitRestartStarted = 1641,      // every component is gone; an uninstaller has already
                                   // started a restart of the computer
  kExitRestartNeeded = 3010,       // every component is gone; a restart finishes the removal
  kExitInvalidCommandLine = 1639,  // nothing was done (the value Windows Installer uses)
};

// What became of one component, decided once: the exit status and the log's line for it (its
// severity) both take it from here.
enum class Verdict {
  Removed,         // its entry is gone (a package path: msiexec says it removed the product)
  RestartNeeded,   // removed; its uninstaller returned 3010
  RestartStarted,  // removed; its uninstaller returned 1641 and is restarting the computer
  Remains,         // its uninstaller ran to its end, but the component is still there
  RemainsRetry,    // as Remains, and its uninstaller said another installation was under way
  TimeUp,          // its uninstall was ended at the time limit: it remains
  NotStarted,      // its command could not be started
  NotRun,          // nothing ran from c:\kavro, which could not be made the administrators'
  AlreadyGone,     // an earlier uninstaller removed it; nothing ran
};

// One component's uninstall: its exit code (when known), whether its entry is gone, whether it
// was a package given by its path (judged by msiexec's exit code: the suite's entry naming the
// package outlives the product), and whether the time limit ended it.
struct Uninstalled {
  std::optional<std::uint32_t> exitCode;
  bool entryGone = false;
  bool packagePath = false;
  bool timeLimitReached = false;
};
Verdict Judge(const Uninstalled& uninstalled);

// True when the component is still there (or could not be run): its line is a warning or an
// error, and the run's status says so.
bool Remains(Verdict verdict);

// What the uninstallers of one run did, as far as the exit status is concerned.
struct UninstallResults {
  bool commandNotStarted = false;
  bool componentRemains = false;        // still registered after its uninstaller ran
  bool remainingSaidRetry = false;      // the uninstaller of such a component returned 1618
  bool restartRequested = false;        // some uninstaller returned 3010
  bool restartStarted = false;          // some uninstaller returned 1641: it is restarting
  bool leftovers = false;               // the clean-up left something: a file another program
                                        // held, or an install folder it could not clean

  void Add(Verdict verdict);
};

// Whether msiexec removed a package given by its path, by its exit code alone (the suite's
// own entry naming the package outlives the product): 0 and 1605 (the product is not
// installed any more) mean removed, and so do 3010 and 1641 (a restart finishes it).
bool PackageRemoved(std::optional<std::uint32_t> exitCode);

// The exit status of a run that reached its end.
int ExitStatusOf(const UninstallResults& results);

// What a run records for deployment agents' own detection rules, which read a registry value
// without running anything: whether something of the suite remains (1) or not (0), and the
// exit status. Nothing remains only where the run reached its end with every component gone
// (0, 3010, 1641); a run under way (no status yet), or one that was ended from outside
// before its end replaced this, counts as one after which something remains.
struct Receipt {
  std::uint32_t remains = 1;
  std::optional<std::uint32_t> exitStatus;
  // Written at the end only (Form1::OthersCouldChange): the first path of c:\kavro that users
  // other than the trusted ones could change before a run made it the administrators'.
  std::optional<Text> othersCouldChange;
};
Receipt ReceiptOf(std::optional<int> exitStatus);

// One line in Spanish, for the log and the usage text.
Text ExitStatusMeaning(int status);

// "  0     <meaning>" lines for every status, in the order the usage text lists them.
Text ExitStatusTable();
