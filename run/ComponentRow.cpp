#include "run/ComponentRow.h"

Text ComponentRow(const Text& displayName, const Text& uninstallCommand) {
  Text row = displayName.substr(0, kNameFieldWidth);
  row.resize(kNameFieldWidth, u' ');
  return row + uninstallCommand;
}

namespace {

Text TrimSpaces(const Text& text) {
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == Text::npos) return Text();
  return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

}  // namespace

Text CommandOfRow(const Text& row) {
  if (row.size() <= kNameFieldWidth) return Text();
  return TrimSpaces(row.substr(kNameFieldWidth));
}

bool IsSuiteComponent(const Text& displayName) {
  const Text upper = UpperCase(displayName);
  return upper.find(u"KAVRO") != Text::npos && upper != u"LUMBEKAVRO";
}

ChosenCommand ChooseCommand(const ValorClaveReg::RegistryText& uninstall,
                            const ValorClaveReg::RegistryText& quiet, bool someoneCanAnswer) {
  const Text quietCommand = TrimSpaces(quiet.text);
  if (!someoneCanAnswer && !quietCommand.empty()) return {{quietCommand, quiet.expandable}, true};
  return {uninstall, false};
}
