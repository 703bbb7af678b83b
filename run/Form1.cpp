#include "run/Form1.h"

#include <algorithm>
#include <map>

#include "launch/Gene.h"
#include "run/ComponentRow.h"
#include "run/Plan.h"

namespace {

using namespace suite;

const Text kNotInstalled = u"La aplicación KavroII No está instalada en el equipo";
constexpr bool kNoForce = false;
// How long the suite's programs have to close by themselves before they are ended.
constexpr std::chrono::seconds kCloseGrace{15};

}  // namespace

Form1::Form1(Platform platform, RunLog& log, RunOptions options) :
    platform_(platform), log_(log), options_(options) {}

void Form1::SessionEnding() { log_.CutShort(step_); }

void Form1::Step(Text step) {
  step_ = std::move(step);
  if (options_.stepStarted) options_.stepStarted(step_);
}

void Form1::Activated() {
  try {
    Form_Activate();
  } catch (const platform::Error& error) {
    exitCode_ = kExitErrorBox;
    platform_.window.ShowErrorBox(error);
    platform_.window.Unload();
  }
}

void Form1::Form_Activate() {
  RemoveDesktopShortcut();
  FindComponents();
  TakeOverInstallFolder();
  CloseSuitePrograms();
  RunUninstallers();
  CleanInstallFolder();
}

platform::FileSystem& Form1::Fso() {
  if (!fso_) fso_ = platform_.newFileSystem();
  return *fso_;
}

void Form1::FindComponents() {
  Step(u"la búsqueda de componentes");
  platform::ListBox& list = platform_.window.LstKeys();
  list.Clear();
  components_ = plan::Components(platform_.registry, platform_.processes, log_,
                                 options_.someoneCanAnswer, options_.msiexecLogFolder);
  for (const plan::Removal& removal : components_)
    list.AddItem(ComponentRow(removal.component.displayName, removal.component.uninstallString));
  // Another user's own installations are theirs: named, never run.
  suite::FindPerUserComponents(platform_.registry, log_);
}

void Form1::RunUninstallers() {
  platform::ListBox& list = platform_.window.LstKeys();
  const int count = list.ListCount();
  if (count == 0) platform_.window.MsgBox(kNotInstalled, platform::kInformationOk, std::nullopt);
  for (int i = 0; i < count; ++i) {
    const plan::Removal& removal = components_.at(static_cast<std::size_t>(i));
    const suite::Component& component = removal.component;
    list.SetListIndex(i);  // the user sees which component is being removed
    Step(u"la desinstalación de \"" + component.displayName + u"\"");
    if (installFolder_ == InstallFolder::Refused) {
      log_.NotRunInstallFolderRefused(component.keyName, component.displayName, kInstallFolder);
      Judged(Verdict::NotRun);
      continue;
    }
    const Text keyPath = kUninstallKey + u'\\' + component.keyName;
    // An earlier uninstaller (the suite's main one, say) may have removed this component
    // already, entry and uninstaller file with it: that is no failure and nothing to run.
    if (!platform_.registry.KeyExists(kHive, keyPath, component.view)) {
      log_.AlreadyGone(component.keyName);
      Judged(Verdict::AlreadyGone);
      continue;
    }
    Gene::Launching how = removal.how;
    how.timeLimit = options_.timeLimit;
    if (installFolder_ == InstallFolder::Taken || installFolder_ == InstallFolder::Made)
      how.administratorsFolder = kInstallFolder;
    Gene::Prepared prepared = removal.command;
    // msiexec's log is a file of ours before msiexec appends to it; without one, it runs
    // without a log of its own rather than write one where it was not made.
    if (!prepared.msiexecLog.empty()) {
      if (const std::optional<platform::Error> error = Fso().MakeLogFile(prepared.msiexecLog)) {
        log_.NoMsiexecLog(prepared.msiexecLog, *error);
        how.msiexecLog.clear();
        prepared = Gene::Prepare(platform_.processes, removal.read, how);
      }
    }
    const Text& command = prepared.launch.commandLine;  // as handed over: what the log names
    // Said before the wait: a program that replaced the uninstaller could end this run.
    how.started = [&](const platform::Process& started) {
      if (started.OthersCanReplace()) log_.OthersCanReplace(command);
    };
    const Gene::Outcome outcome =
        Gene::RunAndWait(platform_.processes, platform_.window, prepared, Gene::kShowNormal, how);
    const Text named = plan::Named(component);
    if (!outcome.started) {
      log_.NotStarted(command, component.chosen.quiet, outcome.othersCouldReplace, named);
      Judged(Verdict::NotStarted);
      continue;
    }
    const bool entryGone = !platform_.registry.KeyExists(kHive, keyPath, component.view);
    const Verdict verdict = Judge({outcome.ending.exitCode, entryGone, outcome.packagePath,
                                   outcome.ending.timeLimitReached});
    Judged(verdict);
    log_.Ran(command, component.chosen.quiet, outcome.duration, outcome.ending,
             {entryGone, outcome.packagePath, verdict, named}, outcome.msiexecLog);
    if (outcome.ending.timeLimitReached)
      log_.TimeLimitReached(component.keyName, command, options_.timeLimit, outcome.ending.ended);
  }
}

void Form1::Judged(Verdict verdict) {
  results_.Add(verdict);
  verdicts_.push_back(verdict);
}

void Form1::TakeOverInstallFolder() {
  // By C:\'s default permissions any user may change c:\kavro: a link put in it would make an
  // uninstaller that deletes its files by path delete another folder's with our rights. Before
  // anything runs from it, it becomes the administrators' and no link is left in it; and it is
  // held, so that nobody can put another folder or a link in its place while they run (an
  // uninstaller's own attempt to remove it fails: once empty, it goes at the end).
  Step(u"la toma de c:\\kavro");
  // Where there is none and an uninstaller is to run, its name is held meanwhile; the
  // permissions the warning is about are those of the programs the run will start.
  platform::TakeOverAsked asked{!components_.empty(), {}};
  for (const plan::Removal& removal : components_) {
    asked.programs.push_back(removal.command.launch.program);
    if (!removal.command.package.empty()) asked.programs.push_back(removal.command.package);
  }
  othersCouldChange_ = options_.othersCouldChangeBefore;
  const std::optional<platform::TakeOver> taken = Fso().TakeOverFolder(kInstallFolder, asked);
  if (!taken) return;
  if (taken->made) {
    log_.InstallFolderMade(kInstallFolder);
    installFolder_ = InstallFolder::Made;
    return;
  }
  // The permissions read now are the administrators' where an earlier run made them so, over
  // whatever a user had put there before: that run's finding still holds.
  if (taken->othersCouldChange) {
    othersCouldChange_ = taken->othersCouldChange;
    log_.OthersCouldChange(kInstallFolder, *othersCouldChange_);
  } else if (othersCouldChange_) {
    log_.OthersCouldChangeBefore(kInstallFolder, *othersCouldChange_);
  }
  for (const Text& link : taken->linksRemoved) log_.LinkRemoved(link);
  for (const auto& [path, error] : taken->refused) log_.NotTaken(path, error);
  for (const Text& path : taken->tooDeep) log_.TooDeep(path);
  const bool whole = taken->refused.empty() && taken->tooDeep.empty();
  installFolder_ = whole ? InstallFolder::Taken : InstallFolder::Refused;
  log_.InstallFolderTaken(kInstallFolder, whole);
}

void Form1::CleanInstallFolder() {
  Step(u"la limpieza de c:\\kavro");
  // Held from here to the end of the clean-up, and never looked up by its path again: any
  // user may change c:\kavro, and a link put in its place, or found there, would make the
  // clean-up delete another folder's executables and data with our rights. (Not earlier: the
  // uninstallers may remove it themselves.)
  {
    const platform::HeldFolder install = Fso().HoldFolder(kInstallFolder);
    // While a component remains, its retry needs what its command names, and its data.
    const plan::Kept kept = plan::KeptForRetry(components_, verdicts_);
    if (install.folder) {
      DeleteDataFolder(*install.folder, kept);
      SweepInstallFolder(*install.folder, kept);
    } else if (install.link) {
      log_.InstallFolderIsLink(kInstallFolder);
      results_.leftovers = true;  // refused, as it must be; but the suite's folder is not clean
    } else if (install.error) {
      log_.InstallFolderNotHeld(kInstallFolder, *install.error);
      results_.leftovers = true;
    }
  }
  // Held since the take-over (an uninstaller could not remove it meanwhile): it goes now if
  // nothing is left in it; the one made to hold the name is said either way.
  if (installFolder_ == InstallFolder::Made) {
    log_.InstallFolderMadeRemoved(kInstallFolder, Fso().RemoveIfEmpty(kInstallFolder));
  } else if (installFolder_ == InstallFolder::Taken && Fso().RemoveIfEmpty(kInstallFolder)) {
    log_.EmptyInstallFolderRemoved(kInstallFolder);
  }
  if (!Fso().FolderExists(kInstallFolder)) othersCouldChange_.reset();  // nothing left of it
  // Without an install folder there is nothing to clean; the run still ends as usual.
  RemoveDesktopShortcut();
  exitCode_ = ExitStatusOf(results_);
  platform_.window.Unload();
}

void Form1::DeleteDataFolder(platform::Folder& install, const plan::Kept& kept) {
  const std::optional<platform::Entry> data = DataFolderIn(install);
  if (!data) return;
  if (!kept.remaining.empty()) {
    log_.DataFolderKept(kDataFolder, kept.remaining);
    return;
  }
  if (data->link) log_.DataFolderIsLink(kDataFolder);
  const std::optional<platform::Removal> removed = install.Remove(*data, kNoForce);
  if (!removed) return;
  LeftHeld(removed->held);
  LeftTooDeep(removed->tooDeep);
  if (!removed->held.empty() || !removed->tooDeep.empty() || removed->stillThere) {
    log_.DataFolderLeft(kDataFolder, removed->files);
    results_.leftovers = true;
  } else {
    log_.DeletedDataFolder(kDataFolder, removed->files);
  }
}

void Form1::LeftHeld(const std::vector<Text>& paths) {
  for (const Text& path : paths) log_.HeldByAnotherProgram(path);
  if (!paths.empty()) results_.leftovers = true;
}

void Form1::LeftTooDeep(const std::vector<Text>& paths) {
  for (const Text& path : paths) log_.TooDeep(path);
  if (!paths.empty()) results_.leftovers = true;
}

void Form1::CloseSuitePrograms() {
  // The suite's own programs, left open (often over night), hold its data files. Other
  // users' can be found and closed only with every process within reach.
  const std::unique_ptr<platform::ProcessReach> reach = platform_.processes.ReachAllProcesses();
  const std::vector<platform::RunningProgram> running =
      plan::ProgramsToClose(Fso(), platform_.processes, log_);
  if (running.empty()) return;
  Step(u"el cierre de los programas de la suite");
  // A program of another session (a user logged on while a SYSTEM run works in session 0) has
  // no window this program can reach: its user is told first, with the time to save their
  // work, and it is waited for that long; in our own session, WM_CLOSE as always.
  const std::uint32_t own = platform_.processes.OwnSession();
  std::vector<platform::RunningProgram> here, elsewhere;
  for (const platform::RunningProgram& program : running)
    (program.session == own ? here : elsewhere).push_back(program);
  std::map<std::uint32_t, std::optional<platform::Error>> notices;
  for (const platform::RunningProgram& program : elsewhere) {
    if (notices.count(program.session)) continue;
    std::vector<Text> names;
    for (const platform::RunningProgram& other : elsewhere) {
      const Text name = other.path.substr(other.path.find_last_of(u'\\') + 1);
      if (other.session == program.session &&
          std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
    }
    // The box goes when the programs do (a time-out of 0 would mean "until answered").
    const std::chrono::seconds shown = std::max(options_.closeWait, std::chrono::seconds(1));
    notices[program.session] = platform_.processes.Notify(
        program.session, u"DesinstalaKavro", ClosingNotice(names, options_.closeWait), shown);
    log_.Notice(program.session, platform_.processes.ConnectionOf(program.session),
                notices[program.session], shown);
  }
  const auto pump = [this] { platform_.window.DoEvents(); };
  const std::vector<platform::Closing> closedHere =
      here.empty() ? std::vector<platform::Closing>()
                   : platform_.processes.Close(here, kCloseGrace, pump, false);
  const std::vector<platform::Closing> closedElsewhere =
      elsewhere.empty() ? std::vector<platform::Closing>()
                        : platform_.processes.Close(elsewhere, options_.closeWait, pump, true);
  for (std::size_t i = 0; i < here.size() && i < closedHere.size(); ++i)
    log_.ClosedProgram(here[i], closedHere[i], std::nullopt);
  for (std::size_t i = 0; i < elsewhere.size() && i < closedElsewhere.size(); ++i)
    log_.ClosedProgram(elsewhere[i], closedElsewhere[i], notices[elsewhere[i].session]);
}

void Form1::SweepInstallFolder(platform::Folder& install, const plan::Kept& kept) {
  platform::FileListBox& files = platform_.window.File1();
  files.SetFolder(install);
  files.SetPattern(kExecutablePattern);
  const int count = files.ListCount();
  for (int i = 0; i < count; ++i) {
    const Text name = files.List(i);
    if (!IsStrayExecutable(name)) continue;
    if (const plan::Kept::File* file = kept.For(kInstallFolderPrefix + name)) {
      log_.KeptForRetry(file->path, file->component);
      continue;
    }
    // The listing is not refreshed: a file another process removed since is already as
    // the sweep wants it, and no reason to stop.
    const std::optional<platform::Removal> removed = install.Remove({name}, kNoForce);
    if (!removed) continue;
    if (removed->held.empty()) log_.DeletedExecutable(kInstallFolderPrefix + name);
    LeftHeld(removed->held);
  }
}

void Form1::RemoveDesktopShortcut() {
  Step(u"el borrado del acceso directo");
  // The shortcut is often made for all users, or on each user's own desktop; under a
  // deployment agent the running user's desktop is the SYSTEM account's, which holds nothing.
  // Without a desktop folder of its own (the SYSTEM account's often does not exist), the
  // running user has no shortcut.
  const std::optional<Text> user = platform_.shell.DesktopFolder(platform::Desktop::User);
  if (!user) {
    log_.NoDesktop(Text());
  } else if (!user->empty() && !Fso().FolderExists(*user)) {
    log_.NoDesktop(*user);
  }
  for (const Text& shortcut :
       plan::Shortcuts(platform_.registry, platform_.shell, platform_.processes, Fso(), user)) {
    // Whatever keeps it (another program, its read-only flag, a link on the way to it), a
    // shortcut left is named and counted, and never stops the run.
    bool deleted = false;
    try {
      deleted = Fso().DeleteFile(shortcut, kNoForce);
    } catch (const platform::Error&) {
    }
    if (deleted) {
      log_.DeletedShortcut(shortcut);
    } else {
      LeftHeld({shortcut});
    }
  }
}
