#include "run/ExitStatus.h"

#include <string>

namespace {

struct Meaning {
  int status;
  const char16_t* text;
};

constexpr Meaning kMeanings[] = {
    {kExitCompleted, u"terminado: se pusieron en marcha todos los desinstaladores"},
    {kExitCommandNotStarted, u"terminado, pero algún desinstalador no se pudo poner en marcha"},
    {kExitErrorBox, u"no terminado: un error detuvo la desinstalación"},
    {kExitInvalidCommandLine, u"línea de órdenes no válida: no se hizo nada"},
};

Text Digits(int value) {
  const std::string digits = std::to_string(value);
  return Text(digits.begin(), digits.end());
}

}  // namespace

Text ExitStatusMeaning(int status) {
  for (const Meaning& m : kMeanings)
    if (m.status == status) return m.text;
  return u"desconocido";
}

Text ExitStatusTable() {
  Text table;
  for (const Meaning& m : kMeanings) {
    Text number = Digits(m.status);
    number.resize(6, u' ');
    table += u"  " + number + m.text + u"\r\n";
  }
  return table;
}
