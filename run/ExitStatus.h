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

// What the uninstallers of one run did, as far as the exit status is concerned.
struct UninstallResults {
  bool commandNotStarted = false;
  bool componentRemains = false;        // still registered after its uninstaller ran
  bool remainingSaidRetry = false;      // the uninstaller of such a component returned 1618
  bool restartRequested = false;        // some uninstaller returned 3010
  bool restartStarted = false;          // some uninstaller returned 1641: it is restarting
  bool leftovers = false;               // the clean-up left something: a file another program
                                        // held, or an install folder it could not clean

  // One uninstaller that ran: its exit code (when known) and whether its entry is gone.
  void Ran(std::optional<std::uint32_t> exitCode, bool entryGone);
};

// Whether msiexec removed a package given by its path, by its exit code alone (the suite's
// own entry naming the package outlives the product): 0 and 1605 (the product is not
// installed any more) mean removed, and so do 3010 and 1641 (a restart finishes it).
bool PackageRemoved(std::optional<std::uint32_t> exitCode);

// The exit status of a run that reached its end.
int ExitStatusOf(const UninstallResults& results);

// One line in Spanish, for the log and the usage text.
Text ExitStatusMeaning(int status);

// "  0     <meaning>" lines for every status, in the order the usage text lists them.
Text ExitStatusTable();
