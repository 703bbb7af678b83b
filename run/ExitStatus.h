#pragma once
// The process's exit status, which deployment tools read, and what each value means.
#include "platform/text.h"

enum ExitStatus : int {
  kExitCompleted = 0,          // the run reached its end and every command was started
  kExitCommandNotStarted = 1,  // the run reached its end, but some command could not be started
  kExitErrorBox = 2,           // the run did not reach its end: it ended on the error box
  kExitInvalidCommandLine = 1639,  // nothing was done (the value Windows Installer uses)
};

// One line in Spanish, for the log and the usage text.
Text ExitStatusMeaning(int status);

// "  0     <meaning>" lines for every status, in the order the usage text lists them.
Text ExitStatusTable();
