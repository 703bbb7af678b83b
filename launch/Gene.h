#pragma once
// Gene: starting one command line and waiting, with the window responsive, until it and every
// process it started have ended.
#include <chrono>
#include <cstdint>

#include "platform/process.h"
#include "platform/window.h"

namespace Gene {

inline constexpr std::uint8_t kShowNormal = 1;

// The command that removes a Windows Installer component unattended, never restarting the
// computer by itself:
//  - a product command, "MsiExec.exe /I{GUID}" or "/X{GUID}" (any letter case, with or
//    without .exe, with a path or quotes around the program): <msiexec> /x {GUID} /passive
//    /norestart (/I would open the maintenance dialog, /X would ask "Are you sure?");
//  - a package path (its last three characters are MSI in any case): <msiexec> /uninstall
//    "<package>" /passive /norestart.
// Anything else is run as read.
Text UninstallCommand(const Text& commandLine, const Text& msiexec);

// An unquoted command whose text up to its first ".exe" followed by a blank (or the end)
// holds a blank, with that part quoted: unquoted, the platform would try the shorter
// candidates first ("c:\kavro\mis.exe" for "c:\kavro\mis modulos\quitar.exe ..."), which
// anyone may plant. Quoted commands and those without a blank before their ".exe" stay as
// they are.
Text QuoteProgramPath(const Text& commandLine);

// What became of one command.
struct Outcome {
  bool started = false;
  std::chrono::milliseconds duration{0};  // from the start to the end of the wait
  platform::Ending ending;
};

// Starts the command (a Windows Installer one through the system's own msiexec.exe, named by
// its full path) and returns after its process (and the processes it started) have ended.
// When the platform refuses to start it, says so in a message box ("Mensaje") and returns.
// On return commandLine holds what was handed to the platform.
Outcome RunAndWait(platform::Processes& processes, platform::Window& window, Text& commandLine,
                   std::uint8_t show);

// Waits for the readiness of a process just started, closes its thread, then waits for its
// end while processing the window's events, and closes the process.
platform::Ending WaitForProcessExit(platform::Window& window, platform::Process& process);

}  // namespace Gene
