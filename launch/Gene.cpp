#include "launch/Gene.h"

namespace Gene {

Text PackageCommand(const Text& commandLine) {
  const Text tail = commandLine.size() > 3 ? commandLine.substr(commandLine.size() - 3) : commandLine;
  if (UpperCase(tail) != u"MSI") return commandLine;
  // /uninstall removes the product (/package would install or reconfigure it), and the
  // quotes keep a path with blanks in one piece.
  return u"msiexec /uninstall \"" + commandLine + u"\" /passive";
}

Outcome RunAndWait(platform::Processes& processes, platform::Window& window, Text& commandLine,
                   std::uint8_t show) {
  commandLine = PackageCommand(commandLine);
  const auto start = std::chrono::steady_clock::now();
  const std::unique_ptr<platform::Process> process = processes.Start(commandLine, show);
  if (!process) {
    window.MsgBox(u"El programa: " + commandLine + u" NO puede ser Ejecutado NO EXISTE.",
                  platform::kInformationOk, Text(u"Mensaje"));
    return {};
  }
  WaitForProcessExit(window, *process);
  return {true, std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)};
}

void WaitForProcessExit(platform::Window& window, platform::Process& process) {
  process.WaitForInputIdle();
  process.CloseThread();
  while (process.WaitForExitOrInput() == platform::WaitResult::InputAvailable) {
    window.DoEvents();
  }
  process.CloseProcess();
}

}  // namespace Gene
