#include "run/ComponentRow.h"

Text ComponentRow(const Text& displayName, const Text& uninstallCommand) {
  Text row = displayName.substr(0, kNameFieldWidth);
  row.resize(kNameFieldWidth, u' ');
  return row + uninstallCommand;
}

Text CommandOfRow(const Text& row) {
  if (row.size() <= kNameFieldWidth) return Text();
  const Text rest = row.substr(kNameFieldWidth);
  const std::size_t first = rest.find_first_not_of(u' ');
  if (first == Text::npos) return Text();
  const std::size_t last = rest.find_last_not_of(u' ');
  return rest.substr(first, last - first + 1);
}

bool IsSuiteComponent(const Text& displayName) {
  const Text upper = UpperCase(displayName);
  return upper.find(u"KAVRO") != Text::npos && upper != u"LUMBEKAVRO";
}
