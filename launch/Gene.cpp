#include "launch/Gene.h"

#include <optional>
#include <vector>

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

bool IsOption(TextView token) { return !token.empty() && (token[0] == u'/' || token[0] == u'-'); }

// The command's program as written (without quotes) and what follows it: a quoted program;
// else, unquoted, the text up to its first ".exe" that ends at a blank or the end; else the
// first word.
struct Split {
  TextView program;
  TextView arguments;
  bool quoted = false;
};
Split SplitProgram(TextView command) {
  if (!command.empty() && command.front() == u'"') {
    const std::size_t close = command.find(u'"', 1);
    if (close == TextView::npos) return {command.substr(1), {}, true};
    return {command.substr(1, close - 1), command.substr(close + 1), true};
  }
  const Text upper = UpperCase(command);
  for (std::size_t at = upper.find(u".EXE"); at != Text::npos; at = upper.find(u".EXE", at + 1)) {
    const std::size_t end = at + 4;
    if (end == command.size() || command[end] == kBlank)
      return {command.substr(0, end), command.substr(end)};
  }
  const std::size_t blank = command.find(kBlank);
  if (blank == TextView::npos) return {command, {}};
  return {command.substr(0, blank), command.substr(blank)};
}

TextView LastStep(TextView path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == TextView::npos ? path : path.substr(slash + 1);
}

bool IsMsiexec(TextView program) {
  const Text name = UpperCase(LastStep(program));
  return name == u"MSIEXEC" || name == u"MSIEXEC.EXE";
}

// msiexec's arguments as it splits them: at blanks outside quotes.
std::vector<TextView> Tokens(TextView text) {
  std::vector<TextView> tokens;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == kBlank) {
      ++at;
      continue;
    }
    std::size_t end = at;
    for (bool quoted = false; end < text.size() && (quoted || text[end] != kBlank); ++end)
      if (text[end] == u'"') quoted = !quoted;
    tokens.push_back(text.substr(at, end - at));
    at = end;
  }
  return tokens;
}

// The unattended removal of a product command's arguments, or nothing when they do not
// name a product to install or remove.
// The options every removal of ours ends with: its UI level, no restart, and its log.
Text RemovalOptions(const Msiexec& msiexec, bool silent) {
  return Text(silent || msiexec.nobodyCanAnswer ? u" /qn" : u" /passive") + u" /norestart" +
         (msiexec.log.empty() ? Text() : u" /L*v+ \"" + msiexec.log + u'"');
}

std::optional<Text> ProductRemoval(TextView arguments, const Msiexec& msiexec) {
  const std::vector<TextView> tokens = Tokens(arguments);
  std::optional<Text> code;
  bool silent = false;
  Text properties;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const TextView token = tokens[i];
    if (IsOption(token)) {
      const Text option = UpperCase(token.substr(1));
      if (option == u"Q" || option == u"QN" || option == u"QN-" || option == u"QUIET") {
        silent = true;
      } else if (!code && !option.empty() && (option[0] == u'I' || option[0] == u'X')) {
        if (option.size() == 1 && i + 1 < tokens.size() && IsGuid(tokens[i + 1])) {
          code = Text(tokens[++i]);
        } else if (IsGuid(token.substr(2))) {
          code = Text(token.substr(2));
        }
      }
      continue;  // every other option goes: ours are the only UI level and restart rule
    }
    const std::size_t equals = token.find(u'=');
    if (equals == TextView::npos || equals == 0) continue;  // a value of a dropped option
    if (UpperCase(token.substr(0, equals)) == u"REBOOT") {
      Text value = UpperCase(token.substr(equals + 1));
      std::erase(value, u'"');
      if (value != u"REALLYSUPPRESS" && value != u"R") continue;  // never a restart of ours
    }
    properties += kBlank;
    properties += token;
  }
  if (!code) return std::nullopt;
  return msiexec.program + u" /x " + *code + RemovalOptions(msiexec, silent) + properties;
}

// The path of a program as the platform would take it: with ".exe" when its name has no
// extension; a bare name in the system folder; nothing for a relative path.
std::optional<Text> ProgramPath(TextView program, const Text& systemFolder) {
  if (program.empty()) return std::nullopt;
  Text path(program);
  if (LastStep(program).find(u'.') == TextView::npos) path += u".exe";
  if (program.find_first_of(u"\\/:") == TextView::npos) return systemFolder + u'\\' + path;
  const bool drive = program.size() >= 3 && program[1] == u':' && program[2] == u'\\';
  const bool share = program.substr(0, 2) == u"\\\\";
  if (!drive && !share) return std::nullopt;
  return path;
}

// The 64-bit system folder as a 32-bit program reaches it: "C:\Windows\Sysnative".
Text SysnativeOf(const Text& systemFolder) {
  return systemFolder.substr(0, systemFolder.find_last_of(u'\\')) + u"\\Sysnative";
}

// SysWOW64 beside the system folder: where a 32-bit program's System32 leads.
Text SysWow64Of(const Text& systemFolder) {
  return systemFolder.substr(0, systemFolder.find_last_of(u'\\')) + u"\\SysWOW64";
}

// The text with each of its %ProgramFiles% and %CommonProgramFiles% references (in any letter
// case) replaced by the variables given.
Text WithFolderVariables(const Text& commandLine, const char16_t* programFiles,
                         const char16_t* commonProgramFiles) {
  Text text = commandLine;
  for (const auto& [own, other] : {std::pair{u"%PROGRAMFILES%", programFiles},
                                   std::pair{u"%COMMONPROGRAMFILES%", commonProgramFiles}}) {
    const Text name(own), replacement(other);
    for (std::size_t at = UpperCase(text).find(name); at != Text::npos;
         at = UpperCase(text).find(name, at + replacement.size()))
      text.replace(at, name.size(), replacement);
  }
  return text;
}

Text Quoted(TextView program) {
  return program.find(kBlank) == TextView::npos ? Text(program) : u'"' + Text(program) + u'"';
}

}  // namespace

bool NamesPackage(const Text& commandLine) {
  if (IsMsiexec(SplitProgram(TrimBlanks(commandLine)).program)) return false;
  const Text tail =
      commandLine.size() > 3 ? commandLine.substr(commandLine.size() - 3) : commandLine;
  return UpperCase(tail) == u"MSI";
}

Text WithSixtyFourBitVariables(const Text& commandLine) {
  return WithFolderVariables(commandLine, u"%ProgramW6432%", u"%CommonProgramW6432%");
}

Text WithThirtyTwoBitVariables(const Text& commandLine) {
  return WithFolderVariables(commandLine, u"%ProgramFiles(x86)%", u"%CommonProgramFiles(x86)%");
}

Text ThroughSysnative(const Text& commandLine, const Text& systemFolder) {
  // The program only: its arguments are for a 64-bit program, which has no Sysnative.
  const std::size_t at = !commandLine.empty() && commandLine.front() == u'"' ? 1 : 0;
  const Text folder = UpperCase(systemFolder) + u'\\';
  if (UpperCase(TextView(commandLine).substr(at, folder.size())) != folder) return commandLine;
  return commandLine.substr(0, at) + SysnativeOf(systemFolder) + u'\\' +
         commandLine.substr(at + folder.size());
}

Text UninstallCommand(const Text& commandLine, const Msiexec& msiexec) {
  const Split split = SplitProgram(TrimBlanks(commandLine));
  if (IsMsiexec(split.program)) {
    if (auto removal = ProductRemoval(split.arguments, msiexec)) return *removal;
    return msiexec.program + Text(split.arguments);
  }
  if (!NamesPackage(commandLine)) return commandLine;
  // /uninstall removes the product (/package would install or reconfigure it), and the
  // quotes keep a path with blanks in one piece.
  return msiexec.program + u" /uninstall \"" + commandLine + u'"' +
         RemovalOptions(msiexec, false);
}

Launch ResolveProgram(const Text& commandLine, const Text& systemFolder,
                      const std::function<bool(const Text&)>& isFile) {
  const auto found = [&](TextView program) {
    const std::optional<Text> path = ProgramPath(program, systemFolder);
    return path && isFile(*path) ? *path : Text();
  };
  const Split split = SplitProgram(commandLine);
  const bool exeEnds = !split.quoted && UpperCase(LastStep(split.program)).ends_with(u".EXE");
  if (split.quoted || exeEnds || split.arguments.empty()) {
    const Text arguments(split.arguments);
    return {found(split.program), split.quoted ? commandLine : Quoted(split.program) + arguments};
  }
  // The platform would try the shortest run first ("c:\kavro\mis" for "c:\kavro\mis
  // modulos\quitar /s"), which anyone who can write there may plant: the longest that names a
  // file is the one meant.
  for (std::size_t end = commandLine.size(); end != Text::npos && end > 0;
       end = commandLine.rfind(kBlank, end - 1)) {
    const TextView program = TextView(commandLine).substr(0, end);
    if (program.empty() || program.back() == kBlank) continue;
    if (Text path = found(program); !path.empty())
      return {path, Quoted(program) + commandLine.substr(end)};
  }
  return {Text(), commandLine};
}

Prepared Prepare(platform::Processes& processes, const Text& commandLine, const Launching& how) {
  const Text systemFolder = processes.SystemFolder();
  Text command = commandLine;
  if (how.sixtyFourBit) {
    command = WithSixtyFourBitVariables(command);
  } else if (how.expandable && processes.SixtyFourBitProgram()) {
    // The 64-bit build stands in for the shipped 32-bit program, whose own folders these are.
    command = WithThirtyTwoBitVariables(command);
  }
  if (how.expandable) command = processes.ExpandEnvironment(command);
  // A 64-bit program (a build of ours for 64-bit Windows) sees 64-bit Windows' folders as
  // they are.
  const bool redirected = processes.SystemFolderRedirected();
  const bool throughSysnative = how.sixtyFourBit && redirected;
  if (throughSysnative) command = ThroughSysnative(command, systemFolder);
  // What a 32-bit program starts from its system folder runs from SysWOW64: named so, the
  // command handed over and logged is the program that runs. A bare name of a 64-bit command
  // is a program of the 64-bit system folder.
  const Text ownFolder = redirected ? SysWow64Of(systemFolder) : systemFolder;
  Prepared prepared{
      ResolveProgram(UninstallCommand(command, {ownFolder + u"\\msiexec.exe",
                                                how.nobodyCanAnswer, how.msiexecLog}),
                     throughSysnative ? SysnativeOf(systemFolder) : ownFolder,
                     [&](const Text& path) { return processes.IsFile(path); }),
      NamesPackage(command) ? command : Text(), Text()};
  const Text logged = u" /L*v+ \"" + how.msiexecLog + u'"';
  if (!how.msiexecLog.empty() && prepared.launch.commandLine.find(logged) != Text::npos)
    prepared.msiexecLog = how.msiexecLog;
  return prepared;
}

Outcome RunAndWait(platform::Processes& processes, platform::Window& window,
                   const Prepared& prepared, std::uint8_t show, const Launching& how) {
  const Launch& launch = prepared.launch;
  const Text& commandLine = launch.commandLine;
  const auto start = std::chrono::steady_clock::now();
  const Text folder = UpperCase(how.administratorsFolder) + u'\\';
  const bool administratorsOnly = !how.administratorsFolder.empty() &&
                                  UpperCase(launch.program).starts_with(folder);
  const std::unique_ptr<platform::Process> process =
      launch.program.empty() ? nullptr
                             : processes.Start(launch.program, commandLine, show, administratorsOnly);
  if (!process) {
    window.MsgBox(u"El programa: " + commandLine + u" NO puede ser Ejecutado NO EXISTE.",
                  platform::kInformationOk, Text(u"Mensaje"));
    Outcome refused;
    refused.othersCouldReplace = administratorsOnly && processes.IsFile(launch.program);
    refused.commandLine = commandLine;
    return refused;
  }
  if (how.started) how.started(*process);
  platform::Ending ending = WaitForProcessExit(
      window, *process,
      how.timeLimit.count() ? platform::Deadline(start + how.timeLimit) : std::nullopt);
  return {true, !prepared.package.empty(),
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                start),
          std::move(ending), false, prepared.msiexecLog, commandLine};
}

platform::Ending WaitForProcessExit(platform::Window& window, platform::Process& process,
                                    platform::Deadline deadline) {
  process.WaitForInputIdle();
  process.CloseThread();
  platform::WaitResult result;
  while ((result = process.WaitForExitOrInput(deadline)) == platform::WaitResult::InputAvailable) {
    window.DoEvents();
  }
  std::vector<Text> ended;
  if (result == platform::WaitResult::TimeUp) ended = process.EndAll();
  process.CloseProcess();
  platform::Ending ending = process.Ended();
  ending.timeLimitReached = result == platform::WaitResult::TimeUp;
  ending.ended = std::move(ended);
  return ending;
}

}  // namespace Gene
