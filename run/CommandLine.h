#pragma once
// The program's command line, msiexec style: switches start with / or -, in any letter case.
//
//   (none)          the window and its message boxes, as always
//   /quiet          no window and no message box; the same run otherwise
//   /log <file>     the run's log goes to <file> instead of the default
//   /?              the usage text, nothing else done
//
// Anything else is an invalid command line: the usage text, and nothing done.
#include <optional>
#include <vector>

#include "platform/text.h"

struct CommandLine {
  enum class Action { Run, Help, Invalid };
  Action action = Action::Run;
  bool quiet = false;
  std::optional<Text> logPath;
};

// The arguments after the program's name, already split (quotes removed).
CommandLine ParseCommandLine(const std::vector<Text>& args);

// The usage text, in Spanish: the switches and the exit statuses.
Text UsageText();
