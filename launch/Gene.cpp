#include "launch/Gene.h"

namespace Gene {
namespace {

constexpr char16_t kBlank = u' ';

bool IsHex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" at the start of the text.
bool IsGuid(TextView text) {
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != u'-' : !IsHex(text[i])) return false;
  }
  return true;
}

TextView TrimBlanks(TextView text) {
  while (!text.empty() && text.front() == kBlank) text.remove_prefix(1);
  while (!text.empty() && text.back() == kBlank) text.remove_suffix(1);
  return text;
}

// The product code of "MsiExec.exe /I{...}" or "/X{...}", or nothing for any other command.
std::optional<Text> ProductCode(TextView command) {
  command = TrimBlanks(command);
  TextView program;
  if (!command.empty() && command.front() == u'"') {
    const std::size_t close = command.find(u'"', 1);
    if (close == TextView::npos) return std::nullopt;
    program = command.substr(1, close - 1);
    command.remove_prefix(close + 1);
  } else {
    const std::size_t blank = command.find(kBlank);
    program = command.substr(0, blank);
    command.remove_prefix(blank == TextView::npos ? command.size() : blank);
  }
  const std::size_t slash = program.find_last_of(u"\\/");
  const Text name = UpperCase(program.substr(slash == TextView::npos ? 0 : slash + 1));
  if (name != u"MSIEXEC" && name != u"MSIEXEC.EXE") return std::nullopt;
  command = TrimBlanks(command);
  if (command.size() < 2 || (command[0] != u'/' && command[0] != u'-')) return std::nullopt;
  const char16_t action = UpperCase(command.substr(1, 1))[0];
  if (action != u'I' && action != u'X') return std::nullopt;
  const TextView code = TrimBlanks(command.substr(2));
  if (!IsGuid(code)) return std::nullopt;
  return Text(code);
}

}  // namespace

Text UninstallCommand(const Text& commandLine, const Text& msiexec) {
  if (const auto code = ProductCode(commandLine)) {
    return msiexec + u" /x " + *code + u" /passive /norestart";
  }
  const Text tail = commandLine.size() > 3 ? commandLine.substr(commandLine.size() - 3) : commandLine;
  if (UpperCase(tail) != u"MSI") return commandLine;
  // /uninstall removes the product (/package would install or reconfigure it), and the
  // quotes keep a path with blanks in one piece.
  return msiexec + u" /uninstall \"" + commandLine + u"\" /passive /norestart";
}

Text QuoteProgramPath(const Text& commandLine) {
  if (!commandLine.empty() && commandLine.front() == u'"') return commandLine;
  const Text upper = UpperCase(commandLine);
  for (std::size_t at = upper.find(u".EXE"); at != Text::npos; at = upper.find(u".EXE", at + 1)) {
    const std::size_t end = at + 4;
    if (end < commandLine.size() && commandLine[end] != kBlank) continue;
    const Text program = commandLine.substr(0, end);
    if (program.find(kBlank) == Text::npos) return commandLine;
    return u'"' + program + u'"' + commandLine.substr(end);
  }
  return commandLine;
}

Outcome RunAndWait(platform::Processes& processes, platform::Window& window, Text& commandLine,
                   std::uint8_t show) {
  // The system's msiexec by its full path: looked up by name, one planted in this program's
  // folder or the current one would run first, with our rights.
  commandLine =
      QuoteProgramPath(UninstallCommand(commandLine, processes.SystemFolder() + u"\\msiexec.exe"));
  const auto start = std::chrono::steady_clock::now();
  const std::unique_ptr<platform::Process> process = processes.Start(commandLine, show);
  if (!process) {
    window.MsgBox(u"El programa: " + commandLine + u" NO puede ser Ejecutado NO EXISTE.",
                  platform::kInformationOk, Text(u"Mensaje"));
    return {};
  }
  platform::Ending ending = WaitForProcessExit(window, *process);
  return {true,
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start),
          std::move(ending)};
}

platform::Ending WaitForProcessExit(platform::Window& window, platform::Process& process) {
  process.WaitForInputIdle();
  process.CloseThread();
  while (process.WaitForExitOrInput() == platform::WaitResult::InputAvailable) {
    window.DoEvents();
  }
  process.CloseProcess();
  return process.Ended();
}

}  // namespace Gene
