#pragma once
// The program's command line, msiexec style: switches start with / or -, in any letter case.
//
//   (none)          the window and its message boxes, as always
//   /quiet          no window and no message box; the same run otherwise
//   /log <file>     the run's log goes to <file> instead of the default
//   /timeout <s>    the longest each component's uninstall may take, in whole seconds from
//                   0 (no limit) to 86400; by default 1800 where nobody can answer, none
//                   where someone can
//   /closewait <s>  how long, from 0 to 3600 seconds (60 by default), the users of other
//                   sessions have to save their work, once told, before the suite's programs
//                   they have open are closed
//   /list           what a run would remove, reported; nothing run, closed or deleted
//   /?              the usage text, nothing else done
//
// Anything else is an invalid command line: the usage text, and nothing done.
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"

struct CommandLine {
  enum class Action { Run, List, Help, Invalid };
  Action action = Action::Run;
  bool quiet = false;
  std::optional<Text> logPath;
  std::optional<std::uint32_t> timeoutSeconds;
  std::optional<std::uint32_t> closeWaitSeconds;
};

// The arguments after the program's name, already split (quotes removed).
CommandLine ParseCommandLine(const std::vector<Text>& args);

// Whether someone can answer a message box: not with /quiet, not in a window station no user
// sees, and not in session 0, which nobody ever sees (whatever station a launcher gave us).
bool SomeoneCanAnswer(const CommandLine& options, bool stationVisible, std::uint32_t session);

// The limit of each component's uninstall; zero for none. Where nobody can answer, an
// uninstaller's question would wait forever: 30 minutes unless /timeout says otherwise.
std::chrono::seconds TimeLimit(const CommandLine& options, bool someoneCanAnswer);

// The time users of other sessions are given before their programs of the suite are closed.
std::chrono::seconds CloseWait(const CommandLine& options);

// The usage text, in Spanish: the switches and the exit statuses.
Text UsageText();
