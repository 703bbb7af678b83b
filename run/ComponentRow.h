#pragma once
// ComponentRow: the text of one row of the component list. The display name padded with
// spaces or cut to exactly 100 characters (the visible name field), directly followed by the
// component's uninstall command. Discovery writes rows; the uninstall phase reads them back.
#include <cstddef>

#include "platform/text.h"
#include "registry/ValorClaveReg.h"

inline constexpr std::size_t kNameFieldWidth = 100;

Text ComponentRow(const Text& displayName, const Text& uninstallCommand);

// The uninstall command of a row: everything after the name field, trimmed of spaces at both
// ends; empty for a row of 100 characters or fewer.
Text CommandOfRow(const Text& row);

// A component of the suite: its upper-cased display name contains "KAVRO" and is not, as a
// whole, the sibling product "LUMBEKAVRO".
bool IsSuiteComponent(const Text& displayName);

// The command a component is removed with: where nobody can answer (an uninstaller's question
// would wait forever) and its entry has a QuietUninstallString that is not blank, that one;
// otherwise its UninstallString, as always.
struct ChosenCommand {
  ValorClaveReg::RegistryText command;
  bool quiet = false;  // the QuietUninstallString
};
ChosenCommand ChooseCommand(const ValorClaveReg::RegistryText& uninstall,
                            const ValorClaveReg::RegistryText& quiet, bool someoneCanAnswer);
