#pragma once
// Gene: starting one command line and waiting, with the window responsive, until it ends.
#include <chrono>
#include <cstdint>

#include "platform/process.h"
#include "platform/window.h"

namespace Gene {

inline constexpr std::uint8_t kShowNormal = 1;

// Turns a Windows Installer package (a command whose last three characters are MSI in any
// case) into the command that removes it: msiexec /uninstall "<package>" /passive. Anything
// else is left as it is.
Text PackageCommand(const Text& commandLine);

// What became of one command.
struct Outcome {
  bool started = false;
  std::chrono::milliseconds duration{0};  // from the start to the end of the wait
};

// Starts the command and returns after its process has ended. When the platform refuses to
// start it, says so in a message box ("Mensaje") and returns. On return commandLine holds
// what was handed to the platform.
Outcome RunAndWait(platform::Processes& processes, platform::Window& window, Text& commandLine,
                   std::uint8_t show);

// Waits for the readiness of a process just started, closes its thread, then waits for its
// end while processing the window's events, and closes the process.
void WaitForProcessExit(platform::Window& window, platform::Process& process);

}  // namespace Gene
