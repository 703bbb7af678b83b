#include "run/CommandLine.h"

#include "run/ExitStatus.h"

namespace {

constexpr std::uint32_t kLongestTimeout = 86400;  // a day
constexpr std::uint32_t kLongestCloseWait = 3600;  // an hour
constexpr std::chrono::seconds kUnattendedTimeout{1800};
constexpr std::chrono::seconds kDefaultCloseWait{60};

// A whole number of seconds from 0 to `longest`, digits only.
std::optional<std::uint32_t> Seconds(const Text& text, std::uint32_t longest) {
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - u'0');
    if (value > longest) return std::nullopt;
  }
  return value;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<Text>& args) {
  CommandLine options;
  bool help = false, list = false;
  const auto invalid = [] {
    return CommandLine{CommandLine::Action::Invalid, false, std::nullopt, std::nullopt,
                       std::nullopt};
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Text& arg = args[i];
    if (arg.size() < 2 || (arg[0] != u'/' && arg[0] != u'-')) return invalid();
    const Text name = UpperCase(TextView(arg).substr(1));
    if (name == u"?") {
      help = true;
    } else if (name == u"LIST") {
      list = true;
    } else if (name == u"QUIET") {
      options.quiet = true;
    } else if (name == u"LOG") {
      // A file must follow, and only one: "/log /quiet" is a forgotten name, not a file.
      if (options.logPath || i + 1 == args.size() || args[i + 1].empty() || args[i + 1][0] == u'/')
        return invalid();
      options.logPath = args[++i];
    } else if (name == u"TIMEOUT") {
      if (options.timeoutSeconds || i + 1 == args.size()) return invalid();
      options.timeoutSeconds = Seconds(args[++i], kLongestTimeout);
      if (!options.timeoutSeconds) return invalid();
    } else if (name == u"CLOSEWAIT") {
      if (options.closeWaitSeconds || i + 1 == args.size()) return invalid();
      options.closeWaitSeconds = Seconds(args[++i], kLongestCloseWait);
      if (!options.closeWaitSeconds) return invalid();
    } else {
      return invalid();
    }
  }
  if (help) {
    options.action = CommandLine::Action::Help;
  } else if (list) {
    options.action = CommandLine::Action::List;
  }
  return options;
}

bool SomeoneCanAnswer(const CommandLine& options, bool stationVisible, std::uint32_t session) {
  return !options.quiet && stationVisible && session != 0;
}

std::chrono::seconds TimeLimit(const CommandLine& options, bool someoneCanAnswer) {
  if (options.timeoutSeconds) return std::chrono::seconds(*options.timeoutSeconds);
  return someoneCanAnswer ? std::chrono::seconds(0) : kUnattendedTimeout;
}

std::chrono::seconds CloseWait(const CommandLine& options) {
  return options.closeWaitSeconds ? std::chrono::seconds(*options.closeWaitSeconds)
                                  : kDefaultCloseWait;
}

Text UsageText() {
  return u"Uso: DesinstalaKavro1.exe [/quiet] [/log <archivo>] [/timeout <segundos>] "
         u"[/closewait <segundos>] [/list] [/?]\r\n"
         u"\r\n"
         u"  (sin argumentos)      muestra la ventana y desinstala KavroII\r\n"
         u"  /quiet                desinstala sin mostrar ventana ni mensajes\r\n"
         u"  /log <archivo>        escribe el registro en <archivo> (por omisión,\r\n"
         u"                        %SystemRoot%\\Logs\\Software\\DesinstalaKavro1.log)\r\n"
         u"  /timeout <segundos>   tiempo máximo de cada desinstalación, de 0 (sin límite)\r\n"
         u"                        a 86400; por omisión 1800 si nadie puede responder a los\r\n"
         u"                        mensajes, y sin límite si alguien puede\r\n"
         u"  /closewait <segundos> tiempo que tienen los usuarios de otras sesiones, una vez\r\n"
         u"                        avisados, para guardar su trabajo antes de que se cierren\r\n"
         u"                        los programas de KavroII que tengan abiertos: de 0 a 3600;\r\n"
         u"                        por omisión 60\r\n"
         u"  /list                 informa de lo que quitaría una desinstalación, sin hacer\r\n"
         u"                        nada (código 0: nada de KavroII en el equipo; 3: algo)\r\n"
         u"  /?                    muestra esta ayuda\r\n"
         u"\r\n"
         u"Códigos de salida:\r\n" +
         ExitStatusTable();
}
