#include "run/Plan.h"

#include <algorithm>

namespace plan {

using namespace suite;

std::vector<Removal> Components(platform::Registry& registry, platform::Processes& processes,
                                RunLog& log, bool someoneCanAnswer, const Text& msiexecLogFolder) {
  std::vector<Removal> removals;
  for (Component& component : FindComponents(registry, log, someoneCanAnswer)) {
    // The command as the uninstall phase reads it back from the component's row; where
    // nobody can answer its quiet one may stand instead.
    const Text read =
        component.chosen.quiet
            ? component.chosen.command.text
            : CommandOfRow(ComponentRow(component.displayName, component.uninstallString));
    Gene::Launching how;
    how.expandable = component.chosen.command.expandable;
    how.sixtyFourBit = component.view == platform::RegistryView::SixtyFourBit;
    how.nobodyCanAnswer = !someoneCanAnswer;
    how.msiexecLog = MsiexecLogPath(msiexecLogFolder, component.keyName);
    Gene::Prepared command = Gene::Prepare(processes, read, how);
    removals.push_back({std::move(component), read, std::move(how), std::move(command)});
  }
  return removals;
}

Text Named(const Component& component) {
  return u"clave " + component.keyName + u", nombre \"" + component.displayName + u'"';
}

const Kept::File* Kept::For(const Text& path) const {
  for (const File& file : files)
    if (UpperCase(file.path) == UpperCase(path)) return &file;
  return nullptr;
}

Kept KeptForRetry(const std::vector<Removal>& components, const std::vector<Verdict>& verdicts) {
  Kept kept;
  const Text folder = UpperCase(kInstallFolderPrefix);
  for (std::size_t i = 0; i < components.size() && i < verdicts.size(); ++i) {
    if (!Remains(verdicts[i])) continue;
    const Removal& removal = components[i];
    kept.remaining.push_back(Named(removal.component));
    for (const Text& path : {removal.command.launch.program, removal.command.package}) {
      if (UpperCase(path).starts_with(folder) && !kept.For(path))
        kept.files.push_back({path, kept.remaining.back()});
    }
  }
  return kept;
}

std::vector<platform::RunningProgram> ProgramsToClose(platform::FileSystem& files,
                                                      platform::Processes& processes, RunLog& log) {
  if (files.IsLink(kInstallFolder) || !files.FolderExists(kInstallFolder)) return {};
  std::vector<platform::RunningProgram> running = processes.RunningFrom(kInstallFolder);
  std::erase_if(running, [&](const platform::RunningProgram& process) {
    if (process.unreadable) log.UnreadableProcess(process);
    return process.unreadable.has_value();
  });
  return running;
}

std::vector<Text> StrayExecutables(platform::Folder& install) {
  std::vector<Text> names;
  for (const platform::Entry& entry : install.Entries())
    if (platform::Listed(entry, kExecutablePattern) && IsStrayExecutable(entry.name))
      names.push_back(entry.name);
  std::sort(names.begin(), names.end(),
            [](const Text& a, const Text& b) { return UpperCase(a) < UpperCase(b); });
  for (Text& name : names) name = kInstallFolderPrefix + name;
  return names;
}

std::vector<Text> Shortcuts(platform::Registry& registry, platform::Shell& shell,
                            platform::Processes& processes, platform::FileSystem& files,
                            const std::optional<Text>& user) {
  std::vector<Text> shortcuts;
  for (const Text& desktop :
       Desktops(registry, user, shell.DesktopFolder(platform::Desktop::Public),
                [&](const Text& text) { return processes.ExpandEnvironment(text); })) {
    if (files.FileExists(desktop + kShortcutName)) shortcuts.push_back(desktop + kShortcutName);
  }
  return shortcuts;
}

Plan Make(platform::Registry& registry, platform::Processes& processes, platform::Shell& shell,
          platform::FileSystem& files, RunLog& log, bool someoneCanAnswer,
          const Text& msiexecLogFolder) {
  Plan plan;
  plan.components = Components(registry, processes, log, someoneCanAnswer, msiexecLogFolder);
  plan.perUser = FindPerUserComponents(registry, log);
  plan.installFolderIsLink = files.IsLink(kInstallFolder);
  {
    // Other users' programs are seen only so, as the run sees them.
    const std::unique_ptr<platform::ProcessReach> reach = processes.ReachAllProcesses();
    plan.toClose = ProgramsToClose(files, processes, log);
  }
  // Held as the clean-up holds it: no folder where it is missing, a file or a link.
  const platform::HeldFolder install = files.HoldFolder(kInstallFolder);
  if (install.folder) {
    if (const std::optional<platform::Entry> data = DataFolderIn(*install.folder))
      plan.dataFiles = install.folder->CountFiles(*data);
    plan.executables = StrayExecutables(*install.folder);
  }
  plan.shortcuts =
      Shortcuts(registry, shell, processes, files, shell.DesktopFolder(platform::Desktop::User));
  return plan;
}

Report Print(const Plan& plan, RunLog& log) {
  Report report;
  // Only what a run would remove counts: a user's own entry stays whatever runs, and would
  // make a PC look installed for good (any user can make one).
  const auto add = [&](const Text& line, bool warning = false, bool removed = true) {
    report.lines.push_back(line);
    if (removed) report.suitePresent = true;
    log.Reported(line, warning);
  };
  for (const Removal& removal : plan.components) {
    const Component& component = removal.component;
    const Gene::Launch& launch = removal.command.launch;
    add(u"Componente: " + ViewName(component.view) + u", clave " + component.keyName +
            u", nombre \"" + component.displayName + u"\", se entregaría" +
            (component.chosen.quiet ? u" (QuietUninstallString)" : u"") + u": " +
            launch.commandLine +
            (launch.program.empty() ? u" (NO EXISTE: no se podría poner en marcha)" : u""),
        launch.program.empty());
  }
  for (const UserEntries& user : plan.perUser) {
    for (const Text& key : user.keys)
      add(u"Instalación propia de un usuario (no se desinstalaría): " + key, true, false);
    if (user.unnamed)
      add(u"Instalaciones propias más de " + user.user + u" (no se desinstalarían): " +
              DecimalText(static_cast<long long>(user.unnamed)),
          true, false);
  }
  if (plan.installFolderIsLink)
    add(kInstallFolder + u" es un enlace: no se cerraría ni se borraría nada en ella", true);
  for (const platform::RunningProgram& program : plan.toClose)
    add(u"Programa de la suite en marcha (se cerraría): " + program.path + u" (proceso " +
            DecimalText(program.id) + u")",
        false, false);
  if (plan.dataFiles)
    add(u"Carpeta de datos (se borraría): " + kDataFolder + u" (" +
        DecimalText(static_cast<long long>(*plan.dataFiles)) + u" archivos)");
  for (const Text& path : plan.executables) add(u"Ejecutable (se borraría): " + path);
  for (const Text& path : plan.shortcuts) add(u"Acceso directo (se borraría): " + path);
  return report;
}

}  // namespace plan
