// Gene: the package rewrite, the refusal message and the wait, over fake processes.
#include "launch/Gene.h"

#include <gtest/gtest.h>

#include <set>

#include "fakes.h"

namespace {

struct Rewrite {
  const char16_t* command;
  const char16_t* launched;
};

void PrintTo(const Rewrite& r, std::ostream* os) { *os << fake::Narrow(r.command); }

class PackageRewriteTest : public ::testing::TestWithParam<Rewrite> {};

TEST_P(PackageRewriteTest, LastThreeCharactersDecide) {
  fake::Journal journal;
  fake::Disk disk;
  fake::Window window(disk, journal);
  fake::Processes processes(journal);
  const Gene::Outcome outcome = Gene::RunAndWait(
      processes, window, Gene::Prepare(processes, GetParam().command, {}), Gene::kShowNormal);
  EXPECT_TRUE(outcome.started);
  ASSERT_EQ(processes.started.size(), 1u);
  EXPECT_EQ(processes.started[0].command, Text(GetParam().launched));
  EXPECT_EQ(outcome.commandLine, Text(GetParam().launched));  // what it says it started with
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PackageRewriteTest,
    ::testing::Values(
        Rewrite{u"C:\\Inst\\Paquete.msi",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"C:\\Inst\\Paquete.msi\" /passive "
                u"/norestart"},
        Rewrite{u"c:\\inst\\paquete.MsI",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"c:\\inst\\paquete.MsI\" /passive "
                u"/norestart"},
        Rewrite{u"C:\\Tools\\desmsi",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"C:\\Tools\\desmsi\" /passive "
                u"/norestart"},
        Rewrite{u"C:\\Mis paquetes\\a.msi",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"C:\\Mis paquetes\\a.msi\" "
                u"/passive /norestart"},
        Rewrite{u"msi",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"msi\" /passive /norestart"},
        Rewrite{u"C:\\Inst\\Paquete.msi ", u"C:\\Inst\\Paquete.msi "}, Rewrite{u"ms", u"ms"},
        // Windows Installer products: removed unattended whatever the registered action.
        Rewrite{u"MsiExec.exe /I{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} "
                u"/passive /norestart"},
        Rewrite{u"C:\\Windows\\system32\\msiexec.exe /x{6f3a2b10-1c2d-4e5f-8a9b-0c1d2e3f4a5b}",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6f3a2b10-1c2d-4e5f-8a9b-0c1d2e3f4a5b} "
                u"/passive /norestart"},
        Rewrite{u"\"C:\\Windows\\System32\\MSIEXEC.EXE\" -X {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} "
                u"/passive /norestart"},
        Rewrite{u"C:\\Windows\\SysWOW64\\MsiExec /I{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} ",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} "
                u"/passive /norestart"},
        // Whatever else they say: a silent UI level stays, properties stay but a restart,
        // every other option (a UI that shows dialogs, logging with its file) goes.
        Rewrite{u"MsiExec.exe /X{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} /qn",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} /qn "
                u"/norestart"},
        Rewrite{u"MsiExec.exe /qb /X{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} "
                u"/passive /norestart"},
        Rewrite{u"msiexec /I {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} REBOOT=ReallySuppress "
                u"TRANSFORMS=\"a b.mst\" "
                u"REBOOT=Force /l*v c:\\x.log /forcerestart",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} "
                u"/passive /norestart "
                u"REBOOT=ReallySuppress TRANSFORMS=\"a b.mst\""},
        // Any other msiexec command runs the system's with its arguments as read.
        Rewrite{u"MsiExec.exe /f{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /f{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}"},
        Rewrite{u"\"c:\\kavro\\msiexec\" /X{6F3A2B10-1C2D-4E5F-8A9B}",
                u"C:\\Windows\\SysWOW64\\msiexec.exe /X{6F3A2B10-1C2D-4E5F-8A9B}"},
        // Anything else stays as read: another program of a similar name.
        Rewrite{u"nomsiexec.exe /X{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}",
                u"nomsiexec.exe /X{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}"},
        Rewrite{u"C:\\Kavro\\quitar.exe /s", u"C:\\Kavro\\quitar.exe /s"}),
    [](const ::testing::TestParamInfo<Rewrite>& info) {
      return "case_" + std::to_string(info.index);
    });

TEST(ResolveProgramTest, TheProgramIsFoundWhereItMustBeAndNeverShorter) {
  // Every program file of the machine in these cases; c:\\kavro\\mis.exe is a planted one.
  const std::set<Text> files = {u"c:\\kavro\\mis.exe",
                                u"c:\\kavro\\mis modulos\\quitar.exe",
                                u"C:\\Windows\\system32\\rundll32.exe",
                                u"C:\\a b\\x.exed\\quitar.exe",
                                u"c:\\kavro\\quitar.exe",
                                u"C:\\Archivos de programa\\Kavro\\UNINST.EXE"};
  const struct {
    const char16_t* command;
    const char16_t* program;  // empty: none
    const char16_t* handedOver;
  } cases[] = {
      {u"c:\\kavro\\mis modulos\\quitar.exe /s", u"c:\\kavro\\mis modulos\\quitar.exe",
       u"\"c:\\kavro\\mis modulos\\quitar.exe\" /s"},
      {u"c:\\kavro\\mis modulos\\quitar /s", u"c:\\kavro\\mis modulos\\quitar.exe",
       u"\"c:\\kavro\\mis modulos\\quitar\" /s"},
      {u"C:\\a b\\x.exed\\quitar.exe /s", u"C:\\a b\\x.exed\\quitar.exe",
       u"\"C:\\a b\\x.exed\\quitar.exe\" /s"},
      {u"c:\\kavro\\quitar.exe /carpeta c:\\mis datos\\x.exe", u"c:\\kavro\\quitar.exe",
       u"c:\\kavro\\quitar.exe /carpeta c:\\mis datos\\x.exe"},
      {u"\"C:\\Archivos de programa\\Kavro\\UNINST.EXE\" /S",
       u"C:\\Archivos de programa\\Kavro\\UNINST.EXE",
       u"\"C:\\Archivos de programa\\Kavro\\UNINST.EXE\" /S"},
      // Bare names: the system folder only, .exe added where the name has none.
      {u"rundll32.exe c:\\mis cosas\\k.dll,Quitar", u"C:\\Windows\\system32\\rundll32.exe",
       u"rundll32.exe c:\\mis cosas\\k.dll,Quitar"},
      {u"rundll32 k.dll,Quitar", u"C:\\Windows\\system32\\rundll32.exe", u"rundll32 k.dll,Quitar"},
      {u"mis.exe /s", u"", u"mis.exe /s"},
      // Nothing found: a missing program, a relative path, nothing at all.
      {u"c:\\kavro\\otros modulos\\quitar /s", u"", u"c:\\kavro\\otros modulos\\quitar /s"},
      {u"kavro\\quitar.exe", u"", u"kavro\\quitar.exe"},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    const Gene::Launch launch =
        Gene::ResolveProgram(c.command, u"C:\\Windows\\system32",
                             [&](const Text& path) { return files.count(path) > 0; });
    EXPECT_EQ(launch.program, Text(c.program)) << fake::Narrow(c.command);
    EXPECT_EQ(launch.commandLine, Text(c.handedOver)) << fake::Narrow(c.command);
  }
}

TEST(SixtyFourBitCommandTest, ItsFoldersAreThoseOfItsViewInEitherBuild) {
  EXPECT_EQ(Gene::WithSixtyFourBitVariables(
                u"\"%programfiles%\\K\\q.exe\" %CommonProgramFiles%\\x %ProgramFiles(x86)%"),
            u"\"%ProgramW6432%\\K\\q.exe\" %CommonProgramW6432%\\x %ProgramFiles(x86)%");
  EXPECT_EQ(Gene::WithThirtyTwoBitVariables(u"%programfiles%\\K %CommonProgramFiles%\\x %ProgramFiles%"),
            u"%ProgramFiles(x86)%\\K %CommonProgramFiles(x86)%\\x %ProgramFiles(x86)%");
  // The program only: a 64-bit program has no Sysnative to find its arguments in.
  const Text system32 = u"C:\\Windows\\system32";
  EXPECT_EQ(Gene::ThroughSysnative(
                u"c:\\windows\\SYSTEM32\\rundll32.exe C:\\Windows\\System32\\k.dll,Q", system32),
            u"C:\\Windows\\Sysnative\\rundll32.exe C:\\Windows\\System32\\k.dll,Q");
  EXPECT_EQ(Gene::ThroughSysnative(u"\"C:\\Windows\\System32\\q.exe\" /s", system32),
            u"\"C:\\Windows\\Sysnative\\q.exe\" /s");
  for (const char16_t* other :
       {u"C:\\Windows\\System32x\\a.exe", u"C:\\kavro\\q.exe C:\\Windows\\System32\\k.dll"})
    EXPECT_EQ(Gene::ThroughSysnative(other, system32), Text(other));
  // A bare name of a 64-bit command is 64-bit Windows' own program, never this 32-bit one's;
  // a 32-bit one's is named where it runs from, SysWOW64.
  fake::Journal journal;
  fake::Processes processes(journal);
  Gene::Launching how;
  how.sixtyFourBit = true;
  EXPECT_EQ(Gene::Prepare(processes, u"kavro64.exe /s", how).launch.program,
            u"C:\\Windows\\Sysnative\\kavro64.exe");
  how.sixtyFourBit = false;
  EXPECT_EQ(Gene::Prepare(processes, u"kavro64.exe /s", how).launch.program,
            u"C:\\Windows\\SysWOW64\\kavro64.exe");
  // The 64-bit build, standing in for it, means each view's %ProgramFiles% as it does, and
  // starts System32's programs as they are.
  processes.sixtyFourBitProgram = true;
  processes.environment = {{u"ProgramFiles", u"C:\\Program Files"},
                           {u"ProgramW6432", u"C:\\Program Files"},
                           {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"}};
  how.expandable = true;
  for (const bool sixtyFourBit : {false, true}) {
    how.sixtyFourBit = sixtyFourBit;
    EXPECT_EQ(Gene::Prepare(processes, u"\"%ProgramFiles%\\K\\q.exe\" /s", how).launch.commandLine,
              sixtyFourBit ? u"\"C:\\Program Files\\K\\q.exe\" /s"
                           : u"\"C:\\Program Files (x86)\\K\\q.exe\" /s");
    EXPECT_EQ(Gene::Prepare(processes, u"msiexec /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}", how)
                  .launch.program,
              u"C:\\Windows\\system32\\msiexec.exe");
  }
}

class RunAndWaitTest : public ::testing::Test {
 protected:
  bool Run(const Text& command) {
    return Gene::RunAndWait(processes, window, Gene::Prepare(processes, command, {}),
                            Gene::kShowNormal)
        .started;
  }
  fake::Journal journal;
  fake::Disk disk;
  fake::Window window{disk, journal};
  fake::Processes processes{journal};
};

TEST_F(RunAndWaitTest, RefusedCommandIsReportedUnderMensaje) {
  processes.refused.insert(u"C:\\NoExiste\\quitar.exe");
  EXPECT_FALSE(Run(u"C:\\NoExiste\\quitar.exe"));
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text, u"El programa: C:\\NoExiste\\quitar.exe NO puede ser Ejecutado NO EXISTE.");
  EXPECT_EQ(window.messages[0].title, Text(u"Mensaje"));
  EXPECT_EQ(window.messages[0].style, 64);
}

TEST_F(RunAndWaitTest, EmptyCommandLeavesTwoBlanksInTheMessage) {
  EXPECT_FALSE(Run(u""));
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text, u"El programa:  NO puede ser Ejecutado NO EXISTE.");
}

TEST_F(RunAndWaitTest, RefusedPackageIsReportedInItsMsiexecForm) {
  processes.refused.insert(u"C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"C:\\NoExiste\\p.msi\" /passive /norestart");
  EXPECT_FALSE(Run(u"C:\\NoExiste\\p.msi"));
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text,
            u"El programa: C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"C:\\NoExiste\\p.msi\" /passive /norestart NO puede ser Ejecutado NO EXISTE.");
}

TEST_F(RunAndWaitTest, StartedCommandShowsNoMessageAndGetsTheShowValue) {
  EXPECT_TRUE(Run(u"C:\\Kavro\\quitar.exe"));
  EXPECT_TRUE(window.messages.empty());
  ASSERT_EQ(processes.started.size(), 1u);
  EXPECT_EQ(processes.started[0].show, 1);
}

TEST_F(RunAndWaitTest, ProcessEndedBeforeTheFirstCheckCausesNoPump) {
  Run(u"rapido.exe");
  EXPECT_EQ(journal, (fake::Journal{"start:rapido.exe", "idle", "close-thread", "wait:ended",
                                    "close-process"}));
  EXPECT_EQ(window.pumps, 0);
}

TEST_F(RunAndWaitTest, EveryInputIsPumpedUntilTheProcessEnds) {
  processes.scripts[u"lento.exe"].inputsBeforeEnd = 3;
  Run(u"lento.exe");
  EXPECT_EQ(journal, (fake::Journal{"start:lento.exe", "idle", "close-thread", "wait:input", "pump",
                                    "wait:input", "pump", "wait:input", "pump", "wait:ended",
                                    "close-process"}));
}

TEST_F(RunAndWaitTest, FailedWaitEndsTheWaitAndClosesTheProcess) {
  processes.scripts[u"raro.exe"].waitFails = true;
  EXPECT_TRUE(Run(u"raro.exe"));
  EXPECT_EQ(journal, (fake::Journal{"start:raro.exe", "idle", "close-thread", "wait:failed",
                                    "close-process"}));
}

}  // namespace
