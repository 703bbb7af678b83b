#include "run/ExitStatus.h"

namespace {

struct Meaning {
  int status;
  const char16_t* text;
};

constexpr Meaning kMeanings[] = {
    {kExitCompleted, u"terminado: no queda ningún componente registrado"},
    {kExitCommandNotStarted, u"terminado, pero algún desinstalador no se pudo poner en marcha"},
    {kExitErrorBox, u"no terminado: un error detuvo la desinstalación"},
    {kExitComponentsRemain,
     u"terminado, pero algo de la suite queda: algún componente sigue registrado (su desinstalador "
     u"falló o se canceló) o un archivo que otro programa tenía abierto"},
    {kExitRetry,
     u"otra instalación en curso: como 3, y un desinstalador lo indicó; o ya había otra ejecución "
     u"de este programa y no se hizo nada. Conviene repetir más tarde"},
    {kExitRestartStarted,
     u"terminado: no queda ningún componente; un desinstalador ya inició el reinicio del equipo"},
    {kExitRestartNeeded,
     u"terminado: no queda ningún componente; hace falta reiniciar para completar"},
    {kExitInvalidCommandLine, u"línea de órdenes no válida: no se hizo nada"},
};

constexpr std::uint32_t kInstallInProgress = 1618;
constexpr std::uint32_t kRestartRequired = 3010;
constexpr std::uint32_t kRestartInitiated = 1641;
constexpr std::uint32_t kProductNotInstalled = 1605;

}  // namespace

Verdict Judge(const Uninstalled& uninstalled) {
  const std::optional<std::uint32_t> code = uninstalled.exitCode;
  if (uninstalled.timeLimitReached) return Verdict::TimeUp;  // whatever it did, it did not finish
  const bool removed =
      uninstalled.packagePath ? PackageRemoved(code) : uninstalled.entryGone;
  if (!removed) return code == kInstallInProgress ? Verdict::RemainsRetry : Verdict::Remains;
  if (code == kRestartInitiated) return Verdict::RestartStarted;
  if (code == kRestartRequired) return Verdict::RestartNeeded;
  return Verdict::Removed;
}

bool Remains(Verdict verdict) {
  switch (verdict) {
    case Verdict::Remains:
    case Verdict::RemainsRetry:
    case Verdict::TimeUp:
    case Verdict::NotStarted:
    case Verdict::NotRun:
      return true;
    default:
      return false;
  }
}

void UninstallResults::Add(Verdict verdict) {
  switch (verdict) {
    case Verdict::NotStarted: commandNotStarted = true; break;
    case Verdict::RemainsRetry: remainingSaidRetry = true; [[fallthrough]];
    case Verdict::Remains:
    case Verdict::TimeUp:
    case Verdict::NotRun: componentRemains = true; break;
    case Verdict::RestartNeeded: restartRequested = true; break;
    case Verdict::RestartStarted: restartStarted = true; break;
    case Verdict::Removed:
    case Verdict::AlreadyGone: break;
  }
}

bool PackageRemoved(std::optional<std::uint32_t> exitCode) {
  return exitCode == 0u || exitCode == kProductNotInstalled || exitCode == kRestartRequired ||
         exitCode == kRestartInitiated;
}

int ExitStatusOf(const UninstallResults& results) {
  if (results.commandNotStarted) return kExitCommandNotStarted;
  if (results.componentRemains) return results.remainingSaidRetry ? kExitRetry : kExitComponentsRemain;
  if (results.leftovers) return kExitComponentsRemain;
  if (results.restartStarted) return kExitRestartStarted;
  return results.restartRequested ? kExitRestartNeeded : kExitCompleted;
}

Receipt ReceiptOf(std::optional<int> exitStatus) {
  Receipt receipt;
  if (!exitStatus) return receipt;
  receipt.exitStatus = static_cast<std::uint32_t>(*exitStatus);
  const bool gone = *exitStatus == kExitCompleted || *exitStatus == kExitRestartNeeded ||
                    *exitStatus == kExitRestartStarted;
  receipt.remains = gone ? 0 : 1;
  return receipt;
}

Text ExitStatusMeaning(int status) {
  for (const Meaning& m : kMeanings)
    if (m.status == status) return m.text;
  return u"desconocido";
}

Text ExitStatusTable() {
  Text table;
  for (const Meaning& m : kMeanings) {
    Text number = DecimalText(m.status);
    number.resize(6, u' ');
    table += u"  " + number + m.text + u"\r\n";
  }
  return table;
}
