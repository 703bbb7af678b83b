#include "run/Inventory.h"

#include <algorithm>

#include "launch/Gene.h"
#include "run/Suite.h"

Inventory TakeInventory(platform::Registry& registry, platform::Processes& processes,
                        platform::Shell& shell, platform::FileSystem& files, RunLog& log,
                        bool someoneCanAnswer, const Text& logPath) {
  Inventory inventory;
  // Only what a run would remove counts: a user's own entry stays whatever runs, and would
  // make a PC look installed for good (any user can make one).
  const auto add = [&](const Text& line, bool warning = false, bool removed = true) {
    inventory.lines.push_back(line);
    if (removed) inventory.suitePresent = true;
    log.Reported(line, warning);
  };
  for (const suite::Component& component : suite::FindComponents(registry, log, someoneCanAnswer)) {
    Gene::Launching how;
    how.expandable = component.chosen.command.expandable;
    how.sixtyFourBit = component.view == platform::RegistryView::SixtyFourBit;
    how.nobodyCanAnswer = !someoneCanAnswer;
    how.msiexecLog = MsiexecLogPath(logPath, component.keyName);
    const Gene::Prepared prepared = Gene::Prepare(processes, component.chosen.command.text, how);
    add(u"Componente: " + ViewName(component.view) + u", clave " + component.keyName +
            u", nombre \"" + component.displayName + u"\", se entregaría" +
            (component.chosen.quiet ? u" (QuietUninstallString)" : u"") + u": " +
            prepared.launch.commandLine +
            (prepared.launch.program.empty() ? u" (NO EXISTE: no se podría poner en marcha)" : u""),
        prepared.launch.program.empty());
  }
  for (const Text& key : suite::FindPerUserComponents(registry, log))
    add(u"Instalación propia de un usuario (no se desinstalaría): " + key, true, false);

  if (files.IsLink(suite::kInstallFolder)) {
    add(suite::kInstallFolder + u" es un enlace: no se cerraría ni se borraría nada en ella", true);
  } else if (files.FolderExists(suite::kInstallFolder)) {
    for (const platform::RunningProgram& program : processes.RunningFrom(suite::kInstallFolder))
      add(u"Programa de la suite en marcha (se cerraría): " + program.path + u" (proceso " +
              DecimalText(program.id) + u")",
          false, false);
    const platform::HeldFolder install = files.HoldFolder(suite::kInstallFolder);
    if (install.folder) {
      if (const std::optional<platform::Entry> data = suite::DataFolderIn(*install.folder)) {
        add(u"Carpeta de datos (se borraría): " + suite::kDataFolder + u" (" +
            DecimalText(static_cast<long long>(install.folder->CountFiles(*data))) + u" archivos)");
      }
      std::vector<Text> executables;
      for (const platform::Entry& entry : install.folder->Entries())
        if (!entry.folder && !entry.hidden && suite::IsStrayExecutable(entry.name))
          executables.push_back(entry.name);
      std::sort(executables.begin(), executables.end(),
                [](const Text& a, const Text& b) { return UpperCase(a) < UpperCase(b); });
      for (const Text& name : executables)
        add(u"Ejecutable (se borraría): " + suite::kInstallFolderPrefix + name);
    }
  }
  for (const Text& folder :
       suite::Desktops(registry, shell.DesktopFolder(platform::Desktop::User),
                       shell.DesktopFolder(platform::Desktop::Public),
                       [&](const Text& text) { return processes.ExpandEnvironment(text); })) {
    if (files.FileExists(folder + suite::kShortcutName))
      add(u"Acceso directo (se borraría): " + folder + suite::kShortcutName);
  }
  return inventory;
}
