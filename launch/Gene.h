#pragma once
// Gene: starting one command line and waiting, with the window responsive, until it and every
// process it started have ended.
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/process.h"
#include "platform/window.h"

namespace Gene {

inline constexpr std::uint8_t kShowNormal = 1;

// The command that removes a Windows Installer component unattended, never restarting the
// computer by itself, always through the system's own msiexec (`msiexec`, a full path):
//  - a product command, msiexec with /I{GUID} or /X{GUID} (any letter case, with or without a
//    path, .exe or quotes; the code attached or after a blank; other arguments anywhere):
//    <msiexec> /x {GUID} /passive /norestart, followed by the properties it gave (NAME=VALUE)
//    but a REBOOT other than ReallySuppress. /I would open the maintenance dialog, /X would
//    ask "Are you sure?"; a silent UI level it gave (/qn, /q, /quiet) stands for /passive,
//    every other one is dropped, as is any other option;
//  - any other msiexec command: <msiexec> and its arguments as read;
//  - a package path (its last three characters are MSI in any case): <msiexec> /uninstall
//    "<package>" /passive /norestart.
// Anything else is returned as read. Where nobody can answer, /qn stands for /passive (basic
// UI can still show an error box, which would wait for the whole time limit); with a log, the
// removal appends msiexec's verbose log to it (/L*v+ "<log>": the file the run made for it).
struct Msiexec {
  Text program;
  bool nobodyCanAnswer = false;
  Text log;  // empty: none
};
Text UninstallCommand(const Text& commandLine, const Msiexec& msiexec);

// What is handed to the platform: the program's file, found where it must be, and the command
// line. The platform never searches for the program itself, so nothing planted in this
// program's folder, the current folder or a shorter path is ever run instead:
//  - a bare name ("rundll32.exe ...") is looked for in the system folder only;
//  - a quoted program, or an unquoted one up to its first ".exe" followed by a blank or the
//    end, is that path; unquoted with a blank, it is quoted in the command line;
//  - any other unquoted command is the longest run of it, ending at a blank or at its end,
//    that names a file, quoted in the command line when it holds a blank;
// ".exe" is added to a name without an extension. A relative path names nothing. No program
// (empty) when none of this names a file.
struct Launch {
  Text program;
  Text commandLine;
};
Launch ResolveProgram(const Text& commandLine, const Text& systemFolder,
                      const std::function<bool(const Text&)>& isFile);

// True when the command is a package path (its last three characters are MSI in any case),
// not a command of msiexec itself.
bool NamesPackage(const Text& commandLine);

// A command as 64-bit Windows means it, for a 32-bit program such as this one: its own
// %ProgramFiles% and %CommonProgramFiles% are the 32-bit folders, so those references become
// %ProgramW6432% and %CommonProgramW6432% (before expansion); and its System32 is redirected
// to SysWOW64, so a program in the system folder goes through Sysnative (after expansion).
Text WithSixtyFourBitVariables(const Text& commandLine);
Text ThroughSysnative(const Text& commandLine, const Text& systemFolder);
// A command as the 32-bit program means it, for a 64-bit build of it (the stand-in on hosts
// that run no 32-bit code): %ProgramFiles% and %CommonProgramFiles% become the 32-bit
// folders' %ProgramFiles(x86)% and %CommonProgramFiles(x86)% (before expansion).
Text WithThirtyTwoBitVariables(const Text& commandLine);

// How a command is run.
struct Launching {
  bool nobodyCanAnswer = false;       // a Windows Installer removal runs with /qn
  Text msiexecLog;                    // where a Windows Installer removal writes its verbose log
  bool expandable = false;            // a REG_EXPAND_SZ value: %VARIABLE% references expanded
  // Read from the 64-bit view: meant as 64-bit Windows means it; otherwise as the 32-bit
  // program means it, whichever build this is.
  bool sixtyFourBit = false;
  std::chrono::seconds timeLimit{0};  // zero: none
  std::function<void(const platform::Process&)> started;  // told of the process once it runs
  // A folder made the administrators' for this run (c:\kavro once taken over): a program in it
  // that others may change was put there since, and is not started.
  Text administratorsFolder;
};

// A command made ready to be handed over, as RunAndWait makes it (without starting it): its
// program (empty when none is found: "NO EXISTE") and the command line handed over with it.
struct Prepared {
  Launch launch;
  Text package;     // the package path handed to msiexec; empty for any other command
  Text msiexecLog;  // a Windows Installer removal: where msiexec writes its log
};
Prepared Prepare(platform::Processes& processes, const Text& commandLine, const Launching& how);

// What became of one command.
struct Outcome {
  bool started = false;
  bool packagePath = false;               // handed to msiexec as a package path
  std::chrono::milliseconds duration{0};  // from the start to the end of the wait
  platform::Ending ending;
  bool othersCouldReplace = false;  // not started: a program of administratorsFolder others may change
  Text msiexecLog;                  // a Windows Installer removal: where msiexec wrote its log
  Text commandLine;                 // what was handed to the platform
};

// Starts a command made ready by Prepare (with the same `how`) and returns after its process
// (and the processes it started) have ended, or, with a time limit, once that long has passed
// since its start and what still ran was ended. When no program was found for it or the
// platform refuses to start it, says so in a message box ("Mensaje") and returns.
Outcome RunAndWait(platform::Processes& processes, platform::Window& window,
                   const Prepared& prepared, std::uint8_t show, const Launching& how = {});

// Waits for the readiness of a process just started, closes its thread, then waits for its
// end while processing the window's events (ending it and what it started if the deadline
// passes first), and closes the process.
platform::Ending WaitForProcessExit(platform::Window& window, platform::Process& process,
                                    platform::Deadline deadline = std::nullopt);

}  // namespace Gene
