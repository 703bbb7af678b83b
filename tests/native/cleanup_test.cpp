// The end of the run over fakes: the desktop shortcut, the data folder, the stray
// executables, the order of the whole run and the exit status.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/refusals.h"
#include "platform/take_over.h"
#include "platform/watchdog.h"
#include "run/Plan.h"
#include "run_fixture.h"

namespace {

const Text kShortcut = u"C:\\users\\ana\\Desktop\\KavroII.lnk";

class CleanupTest : public RunTest {
 protected:
  void SetUp() override {
    disk.AddFolder(u"C:\\users\\ana\\Desktop");
    disk.AddFolder(u"c:\\kavro");
  }
  void AddComponent(const Text& command) {
    registry.AddProgram(u"k" + command, u"Kavro " + command, command);
  }
  void AddExecutables(std::initializer_list<const char16_t*> names) {
    for (const char16_t* name : names) disk.AddFile(u"c:\\kavro\\" + Text(name));
  }
};

TEST_F(CleanupTest, TheWholeRunHappensInItsFixedOrder) {
  disk.AddFile(kShortcut);
  disk.AddFolder(u"c:\\kavro\\datos");
  AddExecutables({u"kavro.exe", u"setup.exe"});
  AddComponent(u"quitar.exe");
  Run();
  const std::vector<std::string> milestones = {
      "desktop", "new-fso", "delete-file:C:\\users\\ana\\Desktop\\KavroII.lnk",
      "enum:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "start:quitar.exe",
      "close-process", "delete-folder:c:\\kavro\\datos", "file1.path:c:\\kavro",
      "file1.pattern:*.exe", "delete-file:c:\\kavro\\setup.exe", "unload"};
  long previous = -1;
  for (const auto& milestone : milestones) {
    const long at = Position(milestone);
    EXPECT_GT(at, previous) << milestone;
    previous = at;
  }
  // The shortcut is looked for a second time after the sweep, and the window unloaded last.
  EXPECT_EQ(Count("desktop"), 2u);
  EXPECT_GT(static_cast<long>(journal.size()) - 1, Position("file1.pattern:*.exe"));
  EXPECT_EQ(journal.back(), "unload");
  EXPECT_EQ(filesystemsMade, 1);
  EXPECT_EQ(exitCode, kExitCompleted);
}

TEST_F(CleanupTest, TheFileSystemObjectIsMadeOnceByTheFirstShortcutCheck) {
  Run();
  EXPECT_EQ(filesystemsMade, 1);
  EXPECT_GT(Position("new-fso"), Position("desktop"));
  EXPECT_LT(Position("new-fso"), Position("enum:SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
}

TEST_F(CleanupTest, EveryExecutableButTheMainOneIsSwept) {
  for (const char16_t* main : {u"kavro.exe", u"KAVRO.EXE", u"Kavro.Exe"}) {
    SCOPED_TRACE(fake::Narrow(main));
    disk = fake::Disk();
    SetUp();
    AddExecutables({main, u"kavro2.exe", u"setup.exe", u"Update.EXE"});
    disk.AddFile(u"c:\\kavro\\kavro.dll");
    disk.AddFile(u"c:\\kavro\\leeme.txt");
    disk.AddFolder(u"c:\\kavro\\bin");
    disk.AddFile(u"c:\\kavro\\bin\\ayuda.exe");
    Run();
    EXPECT_TRUE(disk.HasFile(u"c:\\kavro\\" + Text(main)));
    for (const char16_t* gone : {u"kavro2.exe", u"setup.exe", u"Update.EXE"})
      EXPECT_FALSE(disk.HasFile(u"c:\\kavro\\" + Text(gone))) << fake::Narrow(gone);
    for (const char16_t* kept : {u"kavro.dll", u"leeme.txt", u"bin\\ayuda.exe"})
      EXPECT_TRUE(disk.HasFile(u"c:\\kavro\\" + Text(kept))) << fake::Narrow(kept);
    EXPECT_EQ(exitCode, kExitCompleted);
  }
}

TEST_F(CleanupTest, ThreeHundredExecutablesAreAllSwept) {
  for (int i = 0; i < 300; ++i) {
    const std::string digits = std::to_string(i);
    disk.AddFile(u"c:\\kavro\\programa" + Text(digits.begin(), digits.end()) + u".exe");
  }
  AddExecutables({u"kavro.exe"});
  Run();
  EXPECT_EQ(disk.FilesIn(u"c:\\kavro"), std::vector<Text>{u"kavro.exe"});
  EXPECT_EQ(Starting("delete-file:c:\\kavro\\").size(), 300u);
}

TEST_F(CleanupTest, AFailingDeletionStopsTheSweepAndEverythingAfterIt) {
  AddExecutables({u"a.exe", u"c.exe"});
  disk.AddFile(u"c:\\kavro\\b.exe", /*readOnly=*/true);
  Run();
  EXPECT_FALSE(disk.HasFile(u"c:\\kavro\\a.exe"));  // what was deleted stays deleted
  EXPECT_TRUE(disk.HasFile(u"c:\\kavro\\b.exe"));
  EXPECT_TRUE(disk.HasFile(u"c:\\kavro\\c.exe"));
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_EQ(window.errors[0].number, 5u);
  EXPECT_EQ(Count("desktop"), 1u);  // the shortcut is not looked for again
  EXPECT_EQ(exitCode, kExitErrorBox);
  EXPECT_EQ(journal.back(), "unload");
}

TEST_F(CleanupTest, AnExecutableGoneSinceTheListingIsNoReasonToStop) {
  AddExecutables({u"a.exe", u"b.exe", u"c.exe"});
  window.file1.afterListing = [this] { disk.Remove(u"c:\\kavro\\b.exe"); };
  Run();
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(disk.FilesIn(u"c:\\kavro"), std::vector<Text>{});
  EXPECT_EQ(Count("desktop"), 2u);
  EXPECT_EQ(exitCode, kExitCompleted);

  // One another program holds is left, and alone it is enough for "something remains".
  window.file1.afterListing = {};
  disk.AddFolder(u"c:\\kavro");  // gone with the last run, empty
  AddExecutables({u"visto.exe"});
  disk.Hold(u"c:\\kavro\\visto.exe");
  Run();
  EXPECT_TRUE(disk.HasFile(u"c:\\kavro\\visto.exe"));
  EXPECT_EQ(exitCode, kExitComponentsRemain);
}

TEST_F(CleanupTest, AReadOnlyFileInTheDataFolderEndsTheRunBeforeTheSweep) {
  disk.AddFolder(u"c:\\kavro\\datos");
  disk.AddFolder(u"c:\\kavro\\datos\\sub");
  disk.AddFile(u"c:\\kavro\\datos\\sub\\fijo.dat", /*readOnly=*/true);
  AddExecutables({u"setup.exe"});
  Run();
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_FALSE(Journaled("file1.path:c:\\kavro"));
  EXPECT_TRUE(disk.HasFile(u"c:\\kavro\\setup.exe"));
  EXPECT_EQ(Count("desktop"), 1u);
  EXPECT_EQ(exitCode, kExitErrorBox);
}

TEST_F(CleanupTest, DataFolderGoesWholeAndItsAbsenceIsNoError) {
  disk.AddFolder(u"c:\\kavro\\datos");
  disk.AddFolder(u"c:\\kavro\\datos\\a");
  disk.AddFolder(u"c:\\kavro\\datos\\a\\b");
  disk.AddFile(u"c:\\kavro\\datos\\a\\b\\c.dat");
  AddExecutables({u"setup.exe"});
  Run();
  EXPECT_FALSE(disk.HasFolder(u"c:\\kavro\\datos"));
  EXPECT_FALSE(disk.HasFile(u"c:\\kavro\\datos\\a\\b\\c.dat"));
  EXPECT_EQ(Starting("delete-folder:").size(), 1u);
  EXPECT_FALSE(disk.HasFolder(u"c:\\kavro"));  // nothing left in it: it goes too

  journal.clear();
  disk.AddFolder(u"c:\\kavro");
  AddExecutables({u"setup.exe", u"kavro.exe"});
  Run();  // no data folder this time
  EXPECT_FALSE(Journaled("delete-folder:c:\\kavro\\datos"));
  EXPECT_FALSE(disk.HasFile(u"c:\\kavro\\setup.exe"));
  EXPECT_TRUE(window.errors.empty());

  // A user may make it deeper than any walk goes: what lies past the deepest level stays,
  // named, and something of the suite remains; the rest goes and the run ends as usual.
  Text deep = u"c:\\kavro\\datos";
  for (std::size_t level = 1; level <= platform::kDeepestLevel + 2; ++level) {
    disk.AddFolder(deep);
    disk.AddFile(deep + u"\\f.dat");
    deep += u"\\d";
  }
  Run();
  EXPECT_FALSE(disk.HasFile(u"c:\\kavro\\datos\\f.dat"));
  const Text last = u"c:\\kavro\\datos" + [] {
    Text levels;
    for (std::size_t i = 1; i <= platform::kDeepestLevel; ++i) levels += u"\\d";
    return levels;
  }();
  EXPECT_TRUE(disk.HasFolder(last));
  EXPECT_TRUE(logFile.Has(u"Se deja " + last + u": está a más de 64 niveles"));
  EXPECT_EQ(exitCode, kExitComponentsRemain);
}

TEST_F(CleanupTest, AMissingInstallFolderIsNothingToSweep) {
  disk = fake::Disk();
  disk.AddFolder(u"C:\\users\\ana\\Desktop");
  disk.AddFile(kShortcut);
  Run();
  EXPECT_FALSE(Journaled("file1.path:c:\\kavro"));
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(Count("desktop"), 2u);
  EXPECT_EQ(journal.back(), "unload");
  EXPECT_EQ(exitCode, kExitCompleted);

  // With an uninstaller to run, its name is held by a folder of the administrators' made
  // before it (nobody can put a folder or a link there meanwhile), removed at the end.
  AddComponent(u"quitar.exe");
  bool heldWhileRunning = false;
  processes.onStart = [&](const Text& command) {
    heldWhileRunning = disk.HasFolder(u"c:\\kavro");
    registry.RemoveProgramsRunning(command);
  };
  Run();
  EXPECT_TRUE(heldWhileRunning);
  EXPECT_GT(Position("remove-if-empty:c:\\kavro"), Position("close-process"));
  EXPECT_FALSE(disk.HasFolder(u"c:\\kavro"));
  EXPECT_EQ(exitCode, kExitCompleted);
}

TEST_F(CleanupTest, AShortcutPutBackByAnUninstallerIsRemovedAgain) {
  disk.AddFile(kShortcut);
  AddComponent(u"reinstala-acceso.exe");
  processes.onStart = [this](const Text&) { disk.AddFile(kShortcut); };
  Run();
  EXPECT_FALSE(disk.HasFile(kShortcut));
  EXPECT_EQ(Starting("delete-file:C:\\users\\ana\\Desktop\\KavroII.lnk").size(), 2u);
}

TEST_F(CleanupTest, OnlyTheSuitesShortcutGoesFromEveryDesktop) {
  disk.AddFile(u"C:\\users\\ana\\Desktop\\KavroII (2).lnk");
  disk.AddFolder(u"C:\\users\\Public\\Desktop");
  disk.AddFile(u"C:\\users\\Public\\Desktop\\KavroII.lnk");
  disk.AddFile(u"C:\\users\\Public\\Desktop\\Otro.lnk");
  // Another user's profile, from the profile list: its own desktop too.
  registry.AddKey(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"S-1-5-21-7",
                  fake::Registry::View::SixtyFourBit)[u"PROFILEIMAGEPATH"] =
      fake::Registry::Sz(u"%SystemDrive%\\users\\beto");
  processes.environment[u"SystemDrive"] = u"C:";
  disk.AddFolder(u"C:\\users\\beto\\Desktop");
  disk.AddFile(u"C:\\users\\beto\\Desktop\\KavroII.lnk");
  disk.AddFile(u"C:\\users\\beto\\Desktop\\Otro.lnk");
  Run();
  EXPECT_TRUE(disk.HasFile(u"C:\\users\\ana\\Desktop\\KavroII (2).lnk"));
  EXPECT_TRUE(disk.HasFile(u"C:\\users\\Public\\Desktop\\Otro.lnk"));
  EXPECT_TRUE(disk.HasFile(u"C:\\users\\beto\\Desktop\\Otro.lnk"));
  EXPECT_EQ(Starting("delete-file:"),
            (std::vector<std::string>{"delete-file:C:\\users\\Public\\Desktop\\KavroII.lnk",
                                      "delete-file:C:\\users\\beto\\Desktop\\KavroII.lnk"}));

  // A read-only shortcut there is never removed, but never stops the run either: it is named
  // and something of the suite remains.
  disk.AddFile(u"C:\\users\\Public\\Desktop\\KavroII.lnk", /*readOnly=*/true);
  Run();
  EXPECT_TRUE(window.errors.empty());
  EXPECT_TRUE(logFile.Has(u"No se borró C:\\users\\Public\\Desktop\\KavroII.lnk"));
  EXPECT_EQ(exitCode, kExitComponentsRemain);
}

TEST_F(CleanupTest, AnEmptyDesktopPathLooksForTheBareShortcutName) {
  shell.desktop = u"";
  disk.AddFile(u"\\KavroII.lnk");
  Run();
  EXPECT_FALSE(disk.HasFile(u"\\KavroII.lnk"));
}

TEST_F(CleanupTest, AShortcutThatCannotBeDeletedIsLeftAndTheRunGoesOn) {
  disk.AddFile(kShortcut, /*readOnly=*/true);
  AddComponent(u"quitar.exe");
  Run();
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(processes.started.size(), 1u);
  EXPECT_TRUE(disk.HasFile(kShortcut));
  EXPECT_EQ(exitCode, kExitComponentsRemain);
}

TEST_F(CleanupTest, AUserWithoutDesktopFolderHasNoShortcutAndTheRunGoesOn) {
  shell.desktop = std::nullopt;  // the SYSTEM account of a deployment agent, say
  disk.AddFile(u"\\KavroII.lnk");
  AddComponent(u"quitar.exe");
  Run();
  EXPECT_TRUE(window.errors.empty());
  EXPECT_TRUE(disk.HasFile(u"\\KavroII.lnk"));  // no path is made up for a missing desktop
  EXPECT_EQ(processes.started.size(), 1u);
  EXPECT_EQ(exitCode, kExitCompleted);
  EXPECT_TRUE(logFile.Has(u"No hay carpeta de escritorio"));
}

// Uninstallers of every kind in one run, as an administrator meets them: one that fails and
// keeps its entry, one that asks for a restart, a sub-component whose entry the main
// uninstaller removed, and an expandable command.
TEST_F(CleanupTest, EachComponentIsCheckedBeforeAndAfterItsUninstallerRuns) {
  registry.AddProgram(u"1Main", Text(u"Kavro II"), Text(u"main.exe"));
  registry.AddProgram(u"2Sub", Text(u"Kavro sub"), Text(u"sub.exe"));
  registry.AddProgram(u"3Falla", Text(u"Kavro falla"), Text(u"falla.exe"));
  registry.AddProgram(u"4Expand", Text(u"Kavro expand"), Text(u"%KAVRO%\\quitar.exe /s"));
  registry.MakeExpandable(u"4Expand", u"UninstallString");
  processes.environment[u"KAVRO"] = u"C:\\kavro";
  processes.scripts[u"main.exe"].exitCode = 3010;
  processes.scripts[u"falla.exe"].exitCode = 1603;
  processes.onStart = [this](const Text& command) {
    if (command == u"main.exe") registry.RemoveProgram(u"2Sub");  // removes a sub-component too
    if (command != u"falla.exe") registry.RemoveProgramsRunning(command);
    if (command == u"C:\\kavro\\quitar.exe /s") registry.RemoveProgram(u"4Expand");
  };
  Run();
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(processes.started.size(), 3u);  // not the sub-component's
  EXPECT_EQ(processes.started.back().command, u"C:\\kavro\\quitar.exe /s");
  EXPECT_EQ(Rows().back().substr(100), u"%KAVRO%\\quitar.exe /s");  // the row shows it as read
  EXPECT_TRUE(logFile.Has(u"Ya desinstalado: la clave 2Sub"));
  EXPECT_TRUE(logFile.Has(u"ms), código de salida 3010; la entrada ya no está registrada"));
  EXPECT_TRUE(logFile.Has(u"código de salida 1603; la entrada sigue registrada"));
  EXPECT_EQ(exitCode, kExitComponentsRemain);
  EXPECT_EQ(journal.back(), "unload");  // the run still reached its end
}

TEST_F(CleanupTest, AnInstallFolderThatIsALinkIsNoInstallFolder) {
  disk.AddFolderLink(u"c:\\kavro");  // planted by a user, pointing at another folder
  disk.AddFolder(u"c:\\kavro\\datos");
  AddExecutables({u"setup.exe"});
  disk.AddFile(kShortcut);
  Run();
  EXPECT_TRUE(Starting("delete-folder:").empty());
  EXPECT_TRUE(Starting("file1.").empty());  // not even listed
  EXPECT_TRUE(disk.HasFile(u"c:\\kavro\\setup.exe"));
  EXPECT_FALSE(disk.HasFile(kShortcut));
  EXPECT_TRUE(logFile.Has(u"c:\\kavro es un enlace"));
  EXPECT_EQ(exitCode,
            kExitComponentsRemain);  // refused, as it must be: the suite's folder is not clean

  // A data folder that is a link: the link itself goes, with nothing behind it.
  disk.AddFolder(u"c:\\kavro");
  disk.AddFolderLink(u"c:\\kavro\\datos");
  Run();
  EXPECT_FALSE(disk.HasFolder(u"c:\\kavro\\datos"));
  EXPECT_TRUE(logFile.Has(u"Quitado el enlace c:\\kavro\\datos"));  // before anything ran

  // Where c:\kavro cannot be made the administrators' whole, nothing runs from it: each
  // component is named and remains; the clean-up goes on.
  AddComponent(u"quitar.exe");
  disk.takeOver.refused.push_back({u"c:\\kavro\\ajeno.dat", {5, u"Acceso denegado."}});
  Run();
  EXPECT_TRUE(processes.started.empty());
  EXPECT_LT(Position("take-over:c:\\kavro"), Position("running-from:c:\\kavro"));
  EXPECT_TRUE(logFile.Has(u"No se pudo hacer de los administradores c:\\kavro\\ajeno.dat (error 5"));
  EXPECT_EQ(logFile.severities[static_cast<std::size_t>(
                std::find_if(logFile.lines.begin(), logFile.lines.end(),
                             [](const Text& line) {
                               return line.rfind(u"No se ejecuta la desinstalación de la clave "
                                                 u"kquitar.exe", 0) == 0;
                             }) -
                logFile.lines.begin())],
            platform::Severity::Warning);
  EXPECT_EQ(exitCode, kExitComponentsRemain);

  // Taken whole, a program in it that others may change was put there since: not started.
  disk.takeOver = {};
  registry.AddProgram(u"kd", Text(u"Kavro d"), Text(u"c:\\kavro\\desinstalar.exe /s"));
  processes.replaceable.insert(u"c:\\kavro\\desinstalar.exe");
  processes.replaceable.insert(u"C:\\Windows\\system32\\quitar.exe");  // outside: runs
  Run();
  EXPECT_EQ(processes.started.size(), 1u);
  EXPECT_TRUE(logFile.Has(u"c:\\kavro\\desinstalar.exe /s (otros usuarios pueden cambiar"));
  EXPECT_EQ(exitCode, kExitCommandNotStarted);

  // What an earlier run found others could change (then made the administrators', kept for its
  // retry) is said again by every run while c:\kavro is there, and forgotten once it is gone.
  RunOptions options;
  options.othersCouldChangeBefore = u"c:\\kavro\\desinstalar.exe";
  disk.AddFolder(u"c:\\kavro");
  AddExecutables({u"kavro.exe"});
  Run(options);
  EXPECT_TRUE(logFile.Has(u"Aviso: antes de que una ejecución anterior los hiciera de los "
                          u"administradores, otros usuarios podían cambiar c:\\kavro o lo que "
                          u"contiene (c:\\kavro\\desinstalar.exe)"));
  EXPECT_EQ(othersCouldChange, options.othersCouldChangeBefore);
  disk = fake::Disk();
  Run(options);
  EXPECT_EQ(othersCouldChange, std::nullopt);
}

// The suite's programs left open, and files other programs hold: each program is asked to close
// before the first uninstaller (or ended); a held file stays with the folders above it, the
// rest of the clean-up goes on, and the run ends with "something remains".
TEST_F(CleanupTest, OpenProgramsAreClosedFirstAndHeldFilesStayWithoutStoppingTheCleanUp) {
  disk.AddFile(kShortcut);
  disk.AddFolder(u"c:\\kavro\\datos");
  disk.AddFolder(u"c:\\kavro\\datos\\sub");
  for (const char16_t* file :
       {u"datos\\empresa.dat", u"datos\\sub\\abierto.dat", u"datos\\sub\\otro.dat", u"kavro.exe",
        u"setup.exe", u"visto.exe", u"zz.exe"})
    disk.AddFile(u"c:\\kavro\\" + Text(file));
  disk.Hold(u"c:\\kavro\\datos\\sub\\abierto.dat");  // by an indexer, say
  disk.Hold(u"c:\\kavro\\datos\\empresa.dat");       // by the suite's own program...
  disk.Hold(u"c:\\kavro\\visto.exe");                // ...and by a viewer outside it
  // One in this SYSTEM run's session, one in a logged-on user's: that user is told first and
  // given the time to save their work. One more whose program could not be read is named and
  // left alone.
  processes.running = {{40, u"c:\\kavro\\kavro.exe", 0, u"NT AUTHORITY\\SYSTEM"},
                       {41, u"c:\\kavro\\modulos\\servicio.exe", 1, u"PC\\ana"},
                       {42, u"kavro.exe", 2, u"?", platform::Error{5, u"Acceso denegado."}}};
  processes.closings = {platform::Closing::Closed, platform::Closing::Ended};
  processes.onClose = [this] { disk.Hold(u"c:\\kavro\\datos\\empresa.dat", false); };
  AddComponent(u"quitar.exe");
  Run();
  EXPECT_LT(Position("close-programs:1 15s"), Position("start:quitar.exe"));
  // Other users' programs are within reach while they are found and closed, and only then.
  EXPECT_LT(Position("reach-all"), Position("running-from:c:\\kavro"));
  EXPECT_LT(Position("close-programs:1 60s told"), Position("reach-all:end"));
  EXPECT_LT(Position("reach-all:end"), Position("start:quitar.exe"));
  // The notice lasts as long as the programs have.
  EXPECT_LT(Position("notify:1 60s Se est? desinstalando Kavro II de este equipo. Guarde ahora su "
                     "trabajo: dentro de 60 segundos se cerrar?n estos programas: servicio.exe."),
            Position("close-programs:1 60s told"));
  EXPECT_TRUE(logFile.Has(u"Aviso a la sesión 1 (activa): dado; se quita solo al cabo de 60 s"));
  EXPECT_TRUE(logFile.Has(u"No se pudo leer el programa del proceso 42 (kavro.exe, sesión 2; error 5: "
                          u"Acceso denegado.): si es de la suite, no se cierra"));
  EXPECT_TRUE(logFile.Has(u"Programa de la suite en marcha: c:\\kavro\\kavro.exe (proceso 40, "
                          u"sesión 0, usuario NT AUTHORITY\\SYSTEM, en la sesión de esta "
                          u"ejecución), cerrado"));
  EXPECT_TRUE(logFile.Has(u"servicio.exe (proceso 41, sesión 1, usuario PC\\ana, avisado su "
                          u"usuario), terminado"));
  EXPECT_EQ(disk.FilesIn(u"c:\\kavro\\datos\\sub"), std::vector<Text>{u"abierto.dat"});
  EXPECT_FALSE(disk.HasFile(u"c:\\kavro\\datos\\empresa.dat"));
  EXPECT_EQ(disk.FilesIn(u"c:\\kavro"), (std::vector<Text>{u"kavro.exe", u"visto.exe"}));
  EXPECT_TRUE(logFile.Has(
      u"No se borró c:\\kavro\\datos\\sub\\abierto.dat: otro programa lo tiene abierto"));
  EXPECT_TRUE(logFile.Has(u"No se borró c:\\kavro\\visto.exe"));
  EXPECT_TRUE(logFile.Has(u"La carpeta de datos c:\\kavro\\datos sigue ahí (2 archivos borrados)"));
  EXPECT_FALSE(disk.HasFile(kShortcut));
  EXPECT_TRUE(window.errors.empty());
  EXPECT_EQ(exitCode, kExitComponentsRemain);

  // A notice that cannot be given is said, and the program is closed all the same; so is a
  // user who is not connected, who sees no notice. With no time to close, the box lasts a
  // second (none would keep it until answered).
  processes.noticeFails = platform::Error{1, u"Función incorrecta."};
  processes.onClose = {};
  Run();
  EXPECT_TRUE(logFile.Has(u"servicio.exe (proceso 41, sesión 1, usuario PC\\ana, sin aviso (no se "
                          u"pudo dar: error 1: Función incorrecta.)), cerrado"));
  processes.noticeFails.reset();
  processes.connection = platform::Connection::Disconnected;
  journal.clear();
  Run({true, std::chrono::seconds(0), Text(), std::chrono::seconds(0)});
  EXPECT_EQ(Starting("notify:1 1s ").size(), 1u);
  EXPECT_TRUE(Journaled("close-programs:1 0s told"));
  EXPECT_EQ(logFile.severities.at(static_cast<std::size_t>(
                std::find(logFile.lines.begin(), logFile.lines.end(),
                          u"Aviso a la sesión 1 (desconectada: su usuario no ve el aviso): dado; "
                          u"se quita solo al cabo de 1 s") -
                logFile.lines.begin())),
            platform::Severity::Warning);

  // Nothing is closed where c:\kavro is a link, and a shortcut someone holds stays too.
  journal.clear();
  disk.AddFolderLink(u"c:\\kavro");
  disk.AddFile(kShortcut);
  disk.Hold(kShortcut);
  Run();
  EXPECT_FALSE(Journaled("running-from:c:\\kavro"));
  EXPECT_TRUE(disk.HasFile(kShortcut));
  EXPECT_TRUE(window.errors.empty());
}

TEST(HeldTest, OnlyAnotherProgramsHoldIsLeftEverythingElseIsAFailure) {
  // Open without sharing, locked, or under an oplock whose break nobody acknowledges (an open
  // that waited would wait for ever): held. Anything else, denied access included, is not.
  for (const std::uint32_t held : {platform::kStatusSharingViolation, platform::kStatusFileLockConflict,
                                   platform::kStatusLockNotGranted, platform::kStatusOplockBreakInProgress})
    EXPECT_TRUE(platform::HeldByAnotherProgram(held)) << std::hex << held;
  for (const std::uint32_t other : {0u, 0xC0000022u, 0xC0000034u, 0xC0000103u})
    EXPECT_FALSE(platform::HeldByAnotherProgram(other)) << std::hex << other;
  // A running program or a loaded library cannot be deleted (nor can a read-only file, which
  // gives the same status and is ours to refuse); one another program deletes already is its.
  EXPECT_TRUE(platform::HeldByAnotherProgram(platform::kStatusCannotDelete, false));
  EXPECT_FALSE(platform::HeldByAnotherProgram(platform::kStatusCannotDelete, true));
  EXPECT_TRUE(platform::HeldByAnotherProgram(platform::kStatusDeletePending, true));

  // A step that waits on another program past its bound (a delete disposition whose oplock
  // break nobody acknowledges) is cancelled, again until it returns, and counts as held; one
  // that ends within it is not cut.
  platform::Watchdog patient(std::chrono::seconds(60), [](void*) { ADD_FAILURE() << "cancelled"; });
  EXPECT_FALSE(platform::Watchdog::Step(patient).Cancelled());
  std::mutex mutex;
  std::condition_variable answered;
  int cancels = 0;
  const auto cancel = [&](void* handle) {
    EXPECT_EQ(handle, &mutex);  // the step's own handle
    const std::lock_guard<std::mutex> lock(mutex);
    ++cancels;
    answered.notify_all();
  };
  // The second has its budget of cut waits used up: a tenth of a second, not its minute.
  platform::Watchdog watchdog(std::chrono::milliseconds(40), cancel);
  platform::Watchdog spent(std::chrono::seconds(60), cancel, std::chrono::seconds(0));
  for (platform::Watchdog* dog : {&watchdog, &spent}) {
    const auto began = std::chrono::steady_clock::now();
    const platform::Watchdog::Step waits(*dog, &mutex);
    std::unique_lock<std::mutex> lock(mutex);
    cancels = 0;
    answered.wait(lock, [&] { return cancels == 2; });  // the call missed the first cancel
    EXPECT_TRUE(waits.Cancelled());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(30));
  }
  EXPECT_TRUE(platform::HeldByAnotherProgram(platform::kStatusCancelled));
}

// The take-over as Windows enforces it: only "not there" is no folder; each open asks for the
// least its step needs (SYNCHRONIZE is checked against the entry's permissions too, so only a
// folder that is listed asks for it); an entry closed to the administrators is opened for
// backup, with the three privileges for that open alone; and what it gives is SYSTEM's and the
// administrators' only.
TEST(TakeOverTest, EachOpenAsksTheLeastAndWhatItGivesIsTheAdministratorsOnly) {
  using namespace platform::takeover;
  EXPECT_TRUE(NothingThere(2) && NothingThere(3));
  // Another handle's oplock being broken comes with a handle, and nothing here waits on it.
  EXPECT_FALSE(OpenFailed(platform::kStatusOplockBreakInProgress) || OpenFailed(0));
  EXPECT_TRUE(OpenFailed(0xC0000022u) && OpenFailed(platform::kStatusSharingViolation));
  for (const std::uint32_t error : {5u, 1u, 32u, 267u, 4395u}) EXPECT_FALSE(NothingThere(error)) << error;
  EXPECT_EQ(FirstLook().access, kReadAttributes);
  const Opening file = ToTake(false, false), folder = ToTake(true, false), program = ToTake(false, true);
  EXPECT_EQ(file.access & (kSynchronize | kReadControl | kListDirectory), 0u);
  EXPECT_EQ(folder.access & (kSynchronize | kListDirectory), kSynchronize | kListDirectory);
  EXPECT_EQ(program.access & (kSynchronize | kReadControl), kReadControl);
  for (const Opening& open : {FirstLook(), file, folder, program})
    EXPECT_TRUE(!open.backupIntent && open.privileges.empty());
  const Opening closed = WayIn();
  EXPECT_TRUE(closed.backupIntent);
  EXPECT_EQ(closed.privileges, (std::vector<Text>{kTakeOwnership, kBackup, kRestore}));
  EXPECT_EQ(closed.access, kWriteOwner | kWriteDac | kReadAttributes);
  for (const bool isFolder : {true, false}) {
    const Text sddl = AdministratorsOnly(isFolder);
    EXPECT_EQ(sddl.substr(0, 7), u"O:BAD:P");  // nothing inherited from a folder users may change
    for (const char16_t* nobody : {u";BU)", u";AU)", u";WD)", u";IU)", u";BG)", u";CO)"})
      EXPECT_EQ(sddl.find(nobody), Text::npos) << fake::Narrow(sddl);
    EXPECT_NE(sddl.find(u";SY)"), Text::npos);
    EXPECT_NE(sddl.find(u";BA)"), Text::npos);
  }
}

// One verdict per component, from its uninstaller's exit code, whether its entry is gone,
// whether it was a package path and whether the time limit ended it; the exit status and the
// severity of its log line both come from it.
TEST(VerdictTest, EachOutcomeGivesOneVerdictItsStatusAndItsSeverity) {
  struct Case {
    std::optional<std::uint32_t> code;
    bool gone, package, timeUp;
    Verdict verdict;
    int status;
  };
  const Case cases[] = {
      {0, true, false, false, Verdict::Removed, kExitCompleted},
      {std::nullopt, true, false, false, Verdict::Removed, kExitCompleted},
      {0, false, false, false, Verdict::Remains, kExitComponentsRemain},  // cancelled, say
      {3010, true, false, false, Verdict::RestartNeeded, kExitRestartNeeded},
      {1641, true, false, false, Verdict::RestartStarted, kExitRestartStarted},
      {3010, false, false, false, Verdict::Remains, kExitComponentsRemain},
      {1618, false, false, false, Verdict::RemainsRetry, kExitRetry},
      {1618, true, false, false, Verdict::Removed, kExitCompleted},  // 1618, but its entry went
      {0, true, false, true, Verdict::TimeUp, kExitComponentsRemain},
      // A package path: msiexec's word, whatever its entry (which names the package) does.
      {0, false, true, false, Verdict::Removed, kExitCompleted},
      {1605, false, true, false, Verdict::Removed, kExitCompleted},
      {3010, false, true, false, Verdict::RestartNeeded, kExitRestartNeeded},
      {1641, true, true, false, Verdict::RestartStarted, kExitRestartStarted},
      {1603, false, true, false, Verdict::Remains, kExitComponentsRemain},
      {1603, true, true, false, Verdict::Remains, kExitComponentsRemain},
      {std::nullopt, false, true, false, Verdict::Remains, kExitComponentsRemain},
      {1618, true, true, false, Verdict::RemainsRetry, kExitRetry},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    const Verdict verdict = Judge({c.code, c.gone, c.package, c.timeUp});
    EXPECT_EQ(verdict, c.verdict);
    UninstallResults results;
    results.Add(verdict);
    EXPECT_EQ(ExitStatusOf(results), c.status);
    fake::LogFile file;
    RunLog log(file);
    platform::Ending ending;
    ending.exitCode = c.code;
    ending.wholeTree = true;
    log.Ran(u"quitar.exe", false, {}, ending, {c.gone, c.package, verdict, u"clave K"});
    const bool remains = c.status == kExitComponentsRemain || c.status == kExitRetry;
    EXPECT_EQ(file.severities.back(),
              remains ? platform::Severity::Warning : platform::Severity::Information);
    EXPECT_EQ(file.Has(u"el componente queda: clave K"), remains);
  }
  // Where several apply, the first of 2, 1, 1618, 3, 1641, 3010, 0 wins.
  UninstallResults results;
  for (const Verdict verdict :
       {Verdict::RestartNeeded, Verdict::RestartStarted, Verdict::Remains, Verdict::RemainsRetry})
    results.Add(verdict);
  EXPECT_EQ(ExitStatusOf(results), kExitRetry);
  results.Add(Verdict::NotStarted);
  EXPECT_EQ(ExitStatusOf(results), kExitCommandNotStarted);
  UninstallResults leftovers;
  leftovers.leftovers = true;
  leftovers.Add(Verdict::RestartStarted);
  EXPECT_EQ(ExitStatusOf(leftovers), kExitComponentsRemain);
  leftovers.leftovers = false;
  leftovers.Add(Verdict::RestartNeeded);
  EXPECT_EQ(ExitStatusOf(leftovers), kExitRestartStarted);
}

// The receipt detection rules read: only a run that reached its end with every component gone
// says that nothing remains; a run under way (or ended from outside) says something may.
TEST(ReceiptTest, OnlyARunThatEndedWithEveryComponentGoneSaysNothingRemains) {
  const std::pair<std::optional<int>, std::uint32_t> cases[] = {
      {kExitCompleted, 0}, {kExitRestartNeeded, 0}, {kExitRestartStarted, 0},
      {kExitComponentsRemain, 1}, {kExitRetry, 1}, {kExitCommandNotStarted, 1},
      {kExitErrorBox, 1}, {std::nullopt, 1}};
  for (const auto& [status, remains] : cases) {
    SCOPED_TRACE(status ? *status : -1);
    const Receipt receipt = ReceiptOf(status);
    EXPECT_EQ(receipt.remains, remains);
    EXPECT_EQ(receipt.exitStatus, status ? std::optional<std::uint32_t>(*status) : std::nullopt);
  }
}

// While a machine-wide component remains, its retry needs its data and what its command
// names in c:\\kavro; once every component is gone, the clean-up keeps nothing.
TEST(KeptTest, WhatARemainingComponentNamesInTheInstallFolderIsKeptWithItsData) {
  struct Component {
    const char16_t* program;
    const char16_t* package;
    Verdict verdict;
  };
  // Components A, B, C... in order; the verdicts of the first `judged` (fewer when the run
  // stopped early); the keys that remain, and each file kept with its component's key.
  struct Case {
    std::vector<Component> components;
    std::size_t judged;
    Text remaining;
    std::vector<std::pair<const char16_t*, char16_t>> files;
  };
  const std::vector<Case> cases = {
      {{{u"c:\\kavro\\desinstalar.exe", u"", Verdict::Removed},
        {u"c:\\kavro\\quitar.exe", u"", Verdict::AlreadyGone},
        {u"c:\\kavro\\otro.exe", u"", Verdict::RestartNeeded}}, 3, u"", {}},
      {{{u"c:\\kavro\\desinstalar.exe", u"", Verdict::RemainsRetry},
        {u"c:\\kavro\\setup.exe", u"", Verdict::Removed},
        {u"C:\\KAVRO\\Quitar.exe", u"", Verdict::NotRun},
        {u"c:\\kavro\\desinstalar.exe", u"", Verdict::TimeUp}},
       4, u"ACD", {{u"c:\\kavro\\desinstalar.exe", u'A'}, {u"C:\\KAVRO\\Quitar.exe", u'C'}}},
      // Its program missing, or outside c:\kavro: the data alone; a package by its path.
      {{{u"", u"", Verdict::NotStarted},
        {u"c:\\kavro-otros\\quitar.exe", u"", Verdict::Remains},
        {u"C:\\Windows\\system32\\msiexec.exe", u"c:\\kavro\\datos\\visor.msi", Verdict::Remains}},
       3, u"ABC", {{u"c:\\kavro\\datos\\visor.msi", u'C'}}},
      {{{u"c:\\kavro\\setup.exe", u"", Verdict::Removed},
        {u"c:\\kavro\\quitar.exe", u"", Verdict::Remains}}, 1, u"", {}},
  };
  const auto named = [](char16_t key) { return u"clave " + Text(1, key) + u", nombre \"Kavro\""; };
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases.data()));
    std::vector<plan::Removal> removals(c.components.size());
    std::vector<Verdict> verdicts;
    for (std::size_t i = 0; i < c.components.size(); ++i) {
      removals[i].component = {Text(1, char16_t(u'A' + i)), u"Kavro", {}, {}, {}};
      removals[i].command.launch.program = c.components[i].program;
      removals[i].command.package = c.components[i].package;
      if (i < c.judged) verdicts.push_back(c.components[i].verdict);
    }
    const plan::Kept kept = plan::KeptForRetry(removals, verdicts);
    std::vector<Text> remaining;
    for (const char16_t key : c.remaining) remaining.push_back(named(key));
    EXPECT_EQ(kept.remaining, remaining);
    ASSERT_EQ(kept.files.size(), c.files.size());
    for (const auto& [path, key] : c.files) {
      ASSERT_NE(kept.For(UpperCase(path)), nullptr) << fake::Narrow(path);
      EXPECT_EQ(kept.For(UpperCase(path))->path, path);
      EXPECT_EQ(kept.For(UpperCase(path))->component, named(key));
    }
  }
}

TEST_F(CleanupTest, SuiteNotInstalledStillCleansUpAndEndsWithZero) {
  disk.AddFolder(u"c:\\kavro\\datos");
  AddExecutables({u"setup.exe"});
  Run();
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_LT(Position("msgbox:La aplicaci?n KavroII No est? instalada en el equipo"),
            Position("delete-folder:c:\\kavro\\datos"));
  EXPECT_FALSE(disk.HasFile(u"c:\\kavro\\setup.exe"));
  EXPECT_EQ(exitCode, kExitCompleted);
}

}  // namespace
