#include "run/CommandLine.h"

#include "run/ExitStatus.h"

CommandLine ParseCommandLine(const std::vector<Text>& args) {
  CommandLine options;
  bool help = false;
  const auto invalid = [] { return CommandLine{CommandLine::Action::Invalid, false, std::nullopt}; };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Text& arg = args[i];
    if (arg.size() < 2 || (arg[0] != u'/' && arg[0] != u'-')) return invalid();
    const Text name = UpperCase(TextView(arg).substr(1));
    if (name == u"?") {
      help = true;
    } else if (name == u"QUIET") {
      options.quiet = true;
    } else if (name == u"LOG") {
      // A file must follow, and only one: "/log /quiet" is a forgotten name, not a file.
      if (options.logPath || i + 1 == args.size() || args[i + 1].empty() || args[i + 1][0] == u'/')
        return invalid();
      options.logPath = args[++i];
    } else {
      return invalid();
    }
  }
  if (help) options.action = CommandLine::Action::Help;
  return options;
}

Text UsageText() {
  return u"Uso: DesinstalaKavro1.exe [/quiet] [/log <archivo>] [/?]\r\n"
         u"\r\n"
         u"  (sin argumentos)  muestra la ventana y desinstala KavroII\r\n"
         u"  /quiet            desinstala sin mostrar ventana ni mensajes\r\n"
         u"  /log <archivo>    escribe el registro en <archivo> (por omisión,\r\n"
         u"                    %TEMP%\\DesinstalaKavro1.log)\r\n"
         u"  /?                muestra esta ayuda\r\n"
         u"\r\n"
         u"Códigos de salida:\r\n" +
         ExitStatusTable();
}
