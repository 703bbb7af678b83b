#include "run/RunLog.h"

#include "platform/files.h"
#include "registry/ValorClaveReg.h"
#include "run/ExitStatus.h"

namespace {

// Multi-line texts (the error box's message, the usage text) stay on one line of the log.
Text OneLine(const Text& text) {
  Text line;
  for (char16_t c : text) {
    if (c == u'\r') continue;
    if (c == u'\n') {
      if (!line.empty() && line.back() != u' ') line += u' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == u' ') line.pop_back();
  return line;
}

Text Joined(const std::vector<Text>& list, const Text& between = u", ") {
  Text joined;
  for (const Text& name : list) joined += (joined.empty() ? Text() : between) + name;
  return joined;
}

// The last line of a run is as grave as its exit status.
platform::Severity SeverityOfEnd(int exitStatus) {
  switch (exitStatus) {
    case kExitCompleted:
    case kExitRestartNeeded:
    case kExitRestartStarted:
      return platform::Severity::Information;
    case kExitErrorBox:
    case kExitInvalidCommandLine:
      return platform::Severity::Error;
    default:
      return platform::Severity::Warning;
  }
}

Text QuietMark(bool quiet) { return quiet ? u" (QuietUninstallString)" : u""; }

// "error <number>: <message>", as the log names a platform's error.
Text ErrorText(const platform::Error& error) {
  return u"error " + DecimalText(error.number) + u": " + OneLine(error.message);
}

}  // namespace

Text ViewName(platform::RegistryView view) {
  return view == platform::RegistryView::SixtyFourBit ? u"vista de 64 bits" : u"vista de 32 bits";
}

Text ClosingNotice(const std::vector<Text>& programs, std::chrono::seconds wait) {
  return u"Se está desinstalando Kavro II de este equipo. Guarde ahora su trabajo: dentro de " +
         DecimalText(wait.count()) + u" segundos se cerrarán estos programas: " + Joined(programs) +
         u".";
}

Text MsiexecLogPath(const Text& folder, const Text& keyName) {
  if (folder.empty()) return Text();
  Text name = keyName;
  for (char16_t& c : name)
    if (c < 0x20 || Text(u"\\/:*?\"<>|").find(c) != Text::npos) c = u'_';
  return folder + u"\\DesinstalaKavro1-msi-" + name + u".log";
}

void RunLog::Started(const Text& version, const Text& commandLine, const Text& user,
                     bool someoneCanAnswer, const Text& logPath) {
  Write(platform::Severity::Information,
        u"Inicio: DesinstalaKavro " + version + u", línea de órdenes: " + commandLine +
            u", usuario: " + user +
            (someoneCanAnswer
                 ? u", con usuario que puede responder a los mensajes"
                 : u", sin nadie que pueda responder: los mensajes van solo al registro") +
            (logPath.empty() ? Text() : u", registro: " + logPath));
}

void RunLog::Listed(platform::RegistryView view, int count, bool fromRegistryFunctions,
                    bool providerTimedOut) {
  Write(platform::Severity::Information,
        u"Programas instalados, " + ViewName(view) + u": " + DecimalText(count) + u" subclaves, " +
            (!fromRegistryFunctions ? u"por el proveedor WMI"
             : providerTimedOut
                 ? u"por las funciones del registro (el proveedor WMI no respondió en 30 s)"
                 : u"por las funciones del registro (el proveedor WMI no dio la lista)"));
}

void RunLog::Found(const Text& keyName, platform::RegistryView view, const Text& displayName,
                   const Text& command, const Text& quietCommand) {
  Write(platform::Severity::Information,
        u"Componente encontrado: clave " + keyName + u" (" + ViewName(view) + u"), nombre \"" +
            displayName + u"\", orden: " + command +
            (quietCommand.empty() ? Text()
                                  : u", orden silenciosa (QuietUninstallString): " + quietCommand));
}

void RunLog::NotStarted(const Text& command, bool quiet, bool othersCouldReplace,
                        const Text& component) {
  Write(platform::Severity::Error,
        u"No se pudo poner en marcha" + QuietMark(quiet) + u": " + command +
            (othersCouldReplace ? u" (otros usuarios pueden cambiar su programa: se puso en "
                                  u"c:\\kavro después de hacerla de los administradores)"
                                : u"") +
            (component.empty() ? Text() : u"; el componente queda: " + component));
}

void RunLog::PerUserComponent(const Text& key, const Text& displayName) {
  Write(platform::Severity::Warning, u"Aviso: instalación propia de un usuario: " + key +
                                         u", nombre \"" + displayName +
                                         u"\"; es de ese usuario y no se desinstala");
}

void RunLog::OthersCanReplace(const Text& command) {
  Write(platform::Severity::Warning,
        u"Aviso: el programa de " + command +
            u" está en un archivo o carpeta que otros usuarios pueden cambiar: un usuario "
            u"corriente podría haberlo sustituido");
}

void RunLog::AlreadyGone(const Text& keyName) {
  Write(platform::Severity::Information,
        u"Ya desinstalado: la clave " + keyName +
            u" ya no existe (la quitó un desinstalador anterior); no se ejecuta su orden");
}

void RunLog::Ran(const Text& command, bool quiet, std::chrono::milliseconds duration,
                 const platform::Ending& ending, const Judged& judged, const Text& msiexecLog) {
  Text line = u"Ejecutado" + QuietMark(quiet) + u": " + command + u" (" +
              DecimalText(duration.count()) + u" ms), código de salida " +
              (ending.exitCode ? DecimalText(*ending.exitCode) : Text(u"desconocido"));
  if (!ending.wholeTree) {
    line += u", sin trabajo (job) propio: se esperó solo al programa iniciado";
  } else if (!ending.descendants.empty()) {
    line += u", esperados también: " + Joined(ending.descendants);
  }
  if (!ending.leftRunning.empty()) line += u", sin esperar más a: " + Joined(ending.leftRunning);
  if (!msiexecLog.empty()) line += u", registro de msiexec: " + msiexecLog;
  line += judged.entryGone ? u"; la entrada ya no está registrada"
                           : u"; la entrada sigue registrada";
  const bool remains = Remains(judged.verdict);
  if (judged.packagePath) {
    if (!judged.entryGone && !remains) {
      line += u", como es normal en un paquete: msiexec lo dio por desinstalado";
    } else if (remains && judged.verdict != Verdict::TimeUp) {
      line += judged.entryGone ? u", pero msiexec no lo dio por desinstalado"
                               : u": msiexec no lo dio por desinstalado";
    }
  }
  if (judged.verdict == Verdict::RestartNeeded) line += u"; hace falta reiniciar para completar";
  if (judged.verdict == Verdict::RestartStarted) line += u"; el desinstalador ya inició el reinicio";
  if (remains) {
    line += u"; el componente queda: " + judged.component;
    if (judged.verdict == Verdict::RemainsRetry) line += u" (había otra instalación en curso)";
  } else if (!judged.component.empty()) {
    line += u"; componente: " + judged.component;
  }
  Write(remains || !ending.leftRunning.empty() ? platform::Severity::Warning
                                               : platform::Severity::Information,
        line);
}

void RunLog::TimeLimitReached(const Text& keyName, const Text& command, std::chrono::seconds limit,
                              const std::vector<Text>& ended) {
  Write(platform::Severity::Warning,
        u"Tiempo agotado: la desinstalación de la clave " + keyName + u" (" + command +
            u") no terminó en " + DecimalText(limit.count()) + u" s; terminados: " +
            (ended.empty() ? Text(u"ninguno seguía en marcha") : Joined(ended)) +
            u"; el componente cuenta como no desinstalado");
}

void RunLog::Message(const Text& text, platform::Severity severity) {
  Write(severity, u"Mensaje: " + OneLine(text));
}

void RunLog::Error(const platform::Error& error) {
  Write(platform::Severity::Error,
        u"Error " + DecimalText(error.number) + u": " + OneLine(error.message));
}

void RunLog::NoDesktop(const Text& path) {
  Write(platform::Severity::Information, u"No hay carpeta de escritorio" +
                                             (path.empty() ? Text() : u" " + path) +
                                             u": no hay acceso directo que borrar");
}

void RunLog::DeletedShortcut(const Text& path) {
  Write(platform::Severity::Information, u"Borrado el acceso directo " + path);
}

void RunLog::InstallFolderIsLink(const Text& path) {
  Write(platform::Severity::Warning,
        path +
            u" es un enlace (de símbolo, de unión u otro punto de reanálisis): no es una "
            u"carpeta de instalación; no se borra ni se barre nada en ella");
}

void RunLog::OthersCouldChange(const Text& folder, const Text& first) {
  Write(platform::Severity::Warning,
        u"Aviso: hasta esta ejecución otros usuarios podían cambiar " + folder +
            u" o lo que contiene (" + first +
            u"): un usuario corriente podría haber sustituido sus programas");
}

void RunLog::OthersCouldChangeBefore(const Text& folder, const Text& first) {
  Write(platform::Severity::Warning,
        u"Aviso: antes de que una ejecución anterior los hiciera de los administradores, otros "
        u"usuarios podían cambiar " + folder + u" o lo que contiene (" + first +
            u"): un usuario corriente podría haber sustituido sus programas");
}

void RunLog::LinkRemoved(const Text& path) {
  Write(platform::Severity::Warning,
        u"Quitado el enlace " + path +
            u" (de símbolo, de unión u otro punto de reanálisis): no se sigue ni se deja a los "
            u"desinstaladores");
}

void RunLog::NotTaken(const Text& path, const platform::Error& error) {
  Write(platform::Severity::Warning,
        u"No se pudo hacer de los administradores " + path + u" (" + ErrorText(error) + u")");
}

void RunLog::InstallFolderTaken(const Text& folder, bool whole) {
  if (whole) {
    Write(platform::Severity::Information,
          folder + u" y lo que contiene son ahora de los administradores (solo SYSTEM y los "
                   u"administradores tienen acceso), sin enlaces");
  } else {
    Write(platform::Severity::Warning,
          folder + u" no se pudo hacer entero de los administradores: no se ejecuta ningún "
                   u"desinstalador; la limpieza sigue");
  }
}

void RunLog::InstallFolderMade(const Text& folder) {
  Write(platform::Severity::Information,
        u"No había " + folder + u": se hizo una carpeta vacía de los administradores para "
                                u"guardar su nombre mientras se ejecutan los desinstaladores");
}

void RunLog::InstallFolderMadeRemoved(const Text& folder, bool removed) {
  Write(platform::Severity::Information,
        removed ? u"Quitada la carpeta " + folder + u" que se hizo para guardar su nombre"
                : u"Se deja la carpeta " + folder +
                      u" que se hizo para guardar su nombre: ya no está vacía");
}

void RunLog::EmptyInstallFolderRemoved(const Text& folder) {
  Write(platform::Severity::Information, u"Quitada la carpeta " + folder + u", que quedó vacía");
}

void RunLog::NotRunInstallFolderRefused(const Text& keyName, const Text& displayName,
                                        const Text& folder) {
  Write(platform::Severity::Warning, u"No se ejecuta la desinstalación de la clave " + keyName +
                                         u", nombre \"" + displayName + u"\": " + folder +
                                         u" no se pudo hacer de los administradores; el "
                                         u"componente sigue registrado");
}

void RunLog::TooDeep(const Text& path) {
  Write(platform::Severity::Warning,
        u"Se deja " + path + u": está a más de " +
            DecimalText(static_cast<long long>(platform::kDeepestLevel)) +
            u" niveles de carpetas; no se recorre");
}

void RunLog::InstallFolderNotHeld(const Text& path, const platform::Error& error) {
  Write(platform::Severity::Warning,
        path + u" no se pudo abrir sin seguir enlaces (" + ErrorText(error) +
            u"); no se borra ni se barre nada en ella");
}

void RunLog::DataFolderIsLink(const Text& path) {
  Write(platform::Severity::Warning,
        path + u" es un enlace: se quita el enlace y nada de lo que hay detrás");
}

void RunLog::DeletedDataFolder(const Text& path, std::size_t files) {
  Write(platform::Severity::Information,
        u"Borrada la carpeta de datos " + path + u" (" + DecimalText(files) + u" archivos)");
}

void RunLog::DataFolderLeft(const Text& path, std::size_t files) {
  Write(platform::Severity::Warning,
        u"La carpeta de datos " + path + u" sigue ahí (" + DecimalText(files) +
            u" archivos borrados): queda lo que otros programas tienen abierto");
}

void RunLog::HeldByAnotherProgram(const Text& path) {
  Write(platform::Severity::Warning,
        u"No se borró " + path + u": otro programa lo tiene abierto; se deja donde está");
}

void RunLog::NoMsiexecLogFolder(const platform::Error& error) {
  Write(platform::Severity::Warning,
        u"Aviso: msiexec se ejecuta sin registro propio (/L*v): la carpeta de registros de los "
        u"administradores no se pudo tener sin que otros usuarios puedan cambiarla (" +
            ErrorText(error) + u")");
}

void RunLog::NoMsiexecLog(const Text& path, const platform::Error& error) {
  Write(platform::Severity::Warning,
        u"Aviso: msiexec se ejecuta sin registro propio: no se pudo crear " + path + u" (" +
            ErrorText(error) + u")");
}

void RunLog::DataFolderKept(const Text& path, const std::vector<Text>& components) {
  Write(platform::Severity::Warning,
        u"Se conserva la carpeta de datos " + path + u": la suite sigue instalada (queda: " +
            Joined(components, u"; ") + u")");
}

void RunLog::KeptForRetry(const Text& path, const Text& component) {
  Write(platform::Severity::Warning,
        u"Se conserva " + path + u": lo nombra la orden del componente que queda (" + component +
            u"), y la próxima ejecución lo necesita");
}

void RunLog::ClosedProgram(const platform::RunningProgram& program, platform::Closing closing,
                           const std::optional<std::optional<platform::Error>>& notice) {
  const Text told =
      !notice ? Text(u"en la sesión de esta ejecución")
      : !*notice
          ? Text(u"avisado su usuario")
          : u"sin aviso (no se pudo dar: " + ErrorText(**notice) + u")";
  Write(platform::Severity::Warning,
        u"Programa de la suite en marcha: " + program.path + u" (proceso " +
            DecimalText(program.id) + u", sesión " + DecimalText(program.session) +
            u", usuario " + program.user + u", " + told + u"), " +
            (closing == platform::Closing::Closed ? u"cerrado"
             : closing == platform::Closing::Ended
                 ? u"terminado"
                 : u"no se pudo cerrar ni terminar: sigue en marcha"));
}

void RunLog::DeletedExecutable(const Text& path) {
  Write(platform::Severity::Information, u"Borrado el ejecutable " + path);
}

void RunLog::Ended(int exitStatus) {
  Write(SeverityOfEnd(exitStatus), u"Fin: código de salida " + DecimalText(exitStatus) + u" (" +
                                       ExitStatusMeaning(exitStatus) + u")");
}

void RunLog::Reported(const Text& line, bool warning) {
  Write(warning ? platform::Severity::Warning : platform::Severity::Information,
        u"Inventario: " + line);
}

void RunLog::InventoryEnded(int exitStatus, bool suitePresent) {
  Write(suitePresent ? platform::Severity::Warning : platform::Severity::Information,
        u"Fin: código de salida " + DecimalText(exitStatus) +
            (suitePresent ? u" (inventario: hay algo de KavroII en el equipo)"
                          : u" (inventario: no hay nada de KavroII en el equipo)"));
}

void RunLog::AnotherRunUnderWay(int exitStatus) {
  Write(platform::Severity::Warning,
        u"Fin: código de salida " + DecimalText(exitStatus) +
            u" (otra ejecución de DesinstalaKavro está en curso en este equipo: no se hizo nada)");
}

void RunLog::Unmarked(const Text& path, const platform::Error& error) {
  Write(platform::Severity::Warning,
        u"Aviso: no se pudo marcar la ejecución con " + path + u" (" + ErrorText(error) +
            u"); sigue sin marca: otra ejecución a la vez no se notaría");
}

void RunLog::UninstallersTemp(const Text& path) {
  Write(platform::Severity::Information,
        u"Carpeta temporal de los desinstaladores (TEMP y TMP): " + path);
}

void RunLog::NoUninstallersTemp(const platform::Error& error) {
  Write(platform::Severity::Warning,
        u"Aviso: no se pudo crear la carpeta temporal de los desinstaladores (" + ErrorText(error) +
            u"); usan la de este programa");
}

void RunLog::UninstallersTempLeft(const Text& path) {
  Write(platform::Severity::Warning,
        u"La carpeta temporal " + path +
            u" no se pudo borrar entera: otro programa tiene abierto algo de ella");
}

void RunLog::CutShort(const Text& step) {
  Write(platform::Severity::Warning,
        u"Interrumpido: la sesión de Windows termina (cierre de sesión o apagado) durante " + step +
            u"; la próxima ejecución seguirá con lo que quede");
}

void RunLog::LogRefused(const Text& path, const platform::Error& error) {
  Write(platform::Severity::Warning,
        u"Aviso: no se pudo usar el registro pedido " + path + u" (" + ErrorText(error) +
            u"); se escribe en el registro por defecto");
}

void RunLog::EarlierRunCut(const Text& started, const Text& step) {
  Write(platform::Severity::Warning,
        u"Aviso: la ejecución anterior, iniciada el " + started + u" (hora local), no llegó a su fin" +
            (step.empty() ? Text() : u" (se cortó durante " + step + u")") +
            u": la terminó otro programa o se apagó el equipo; esta ejecución sigue con lo que "
            u"quede");
}

void RunLog::EarlierTempRemoved(const Text& path) {
  Write(platform::Severity::Information,
        u"Borrada la carpeta temporal que dejó una ejecución anterior: " + path);
}

void RunLog::EarlierTempLeft(const Text& path) {
  Write(platform::Severity::Warning,
        u"La carpeta temporal que dejó una ejecución anterior, " + path +
            u", no se pudo borrar entera: otro programa tiene abierto algo de ella");
}

void RunLog::ReceiptRecorded(const Text& key, const Receipt& receipt) {
  Write(platform::Severity::Information,
        u"Resultado anotado para las reglas de detección en " + key + u": Queda=" +
            DecimalText(receipt.remains) +
            (receipt.exitStatus ? u", CodigoDeSalida=" + DecimalText(*receipt.exitStatus) : Text()));
}

void RunLog::ReceiptNotRecorded(const Text& key, const platform::Error& error) {
  Write(platform::Severity::Warning,
        u"Aviso: no se pudo anotar el resultado en " + key + u" (" + ErrorText(error) +
            u"); las reglas de detección no lo verán");
}

void RunLog::ValueCut(const Text& key, const Text& valueName) {
  Write(platform::Severity::Warning,
        u"Aviso: el valor " + valueName + u" de la clave " + key + u" tiene más de " +
            DecimalText(static_cast<long long>(ValorClaveReg::kLongestValue)) +
            u" caracteres: se lee cortado");
}

void RunLog::Write(platform::Severity severity, const Text& text) {
  if (text.size() <= kLongestEntry) return file_.Append(text, severity);
  file_.Append(text.substr(0, kLongestEntry) + u"… (cortado: " +
                   DecimalText(static_cast<long long>(text.size())) + u" caracteres)",
               severity);
}

void RunLog::PerUserComponentsUnnamed(const Text& user, std::size_t count) {
  Write(platform::Severity::Warning,
        u"Aviso: " + DecimalText(count) + u" instalaciones propias más de KavroII en " + user +
            u", que no se nombran; son de ese usuario y no se desinstalan");
}

void RunLog::UnreadableProcess(const platform::RunningProgram& process) {
  Write(platform::Severity::Information,
        u"No se pudo leer el programa del proceso " + DecimalText(process.id) + u" (" +
            process.path + u", sesión " +
            (process.session == platform::kUnknownSession ? Text(u"desconocida")
                                                          : DecimalText(process.session)) +
            u"; " + ErrorText(process.unreadable.value_or(platform::Error{})) +
            u"): si es de la suite, no se cierra");
}

void RunLog::Notice(std::uint32_t session, platform::Connection connection,
                    const std::optional<platform::Error>& error, std::chrono::seconds timeout) {
  const Text state =
      connection == platform::Connection::Active         ? Text(u"activa")
      : connection == platform::Connection::Connected    ? Text(u"conectada, sin usuario activo")
      : connection == platform::Connection::Disconnected ? Text(u"desconectada: su usuario no ve el aviso")
      : connection == platform::Connection::Other        ? Text(u"sin usuario conectado")
                                                         : Text(u"estado desconocido");
  const Text told = error ? u"no se pudo dar (" + ErrorText(*error) + u")"
                          : u"dado; se quita solo al cabo de " + DecimalText(timeout.count()) + u" s";
  Write(error || connection != platform::Connection::Active ? platform::Severity::Warning
                                                            : platform::Severity::Information,
        u"Aviso a la sesión " + DecimalText(session) + u" (" + state + u"): " + told);
}
