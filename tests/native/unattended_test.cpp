// Runs nobody can answer: the command line, the decision "box or log", and what the log of a
// whole run holds.
#include <gtest/gtest.h>

#include "run/BoxOrLog.h"
#include "run/CommandLine.h"
#include "platform/log_layout.h"
#include "run_fixture.h"

namespace {

using Action = CommandLine::Action;

struct Parse {
  std::vector<Text> args;
  Action action;
  bool quiet;
  std::optional<Text> log;
};

TEST(CommandLineTest, SwitchesInAnyCaseWithSlashOrDashAndEverythingElseInvalid) {
  const Parse cases[] = {
      {{}, Action::Run, false, std::nullopt},
      {{u"/quiet"}, Action::Run, true, std::nullopt},
      {{u"-QUIET"}, Action::Run, true, std::nullopt},
      {{u"/Log", u"C:\\Mis registros\\k.log", u"/Quiet"},
       Action::Run,
       true,
       Text(u"C:\\Mis registros\\k.log")},
      {{u"/?"}, Action::Help, false, std::nullopt},
      {{u"-?", u"/quiet"}, Action::Help, true, std::nullopt},
      {{u"/q"}, Action::Invalid, false, std::nullopt},
      {{u"/quiet", u"/x"}, Action::Invalid, false, std::nullopt},
      {{u"quiet"}, Action::Invalid, false, std::nullopt},
      {{u"/"}, Action::Invalid, false, std::nullopt},
      {{u"/log"}, Action::Invalid, false, std::nullopt},
      {{u"/log", u""}, Action::Invalid, false, std::nullopt},
      {{u"/log", u"/quiet"}, Action::Invalid, false, std::nullopt},
      {{u"/log", u"a.log", u"/log", u"b.log"}, Action::Invalid, false, std::nullopt},
      {{u"/?", u"/nada"}, Action::Invalid, false, std::nullopt},
      {{u"/LIST", u"/quiet", u"/log", u"i.log"}, Action::List, true, Text(u"i.log")},
      {{u"/list", u"/?"}, Action::Help, false, std::nullopt},
      {{u"/timeout", u"86400"}, Action::Run, false, std::nullopt},
      {{u"/TimeOut", u"0", u"/quiet"}, Action::Run, true, std::nullopt},
      {{u"/timeout", u"86401"}, Action::Invalid, false, std::nullopt},
      {{u"/timeout", u"-5"}, Action::Invalid, false, std::nullopt},
      {{u"/timeout", u"5s"}, Action::Invalid, false, std::nullopt},
      {{u"/timeout", u""}, Action::Invalid, false, std::nullopt},
      {{u"/timeout"}, Action::Invalid, false, std::nullopt},
      {{u"/timeout", u"5", u"/timeout", u"6"}, Action::Invalid, false, std::nullopt},
      {{u"/CloseWait", u"3600"}, Action::Run, false, std::nullopt},
      {{u"/closewait", u"3601"}, Action::Invalid, false, std::nullopt},
  };
  for (const Parse& c : cases) {
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : fake::Narrow(c.args[0]) + " ...");
    const CommandLine parsed = ParseCommandLine(c.args);
    EXPECT_EQ(parsed.action, c.action);
    if (c.action == Action::Invalid) continue;
    EXPECT_EQ(parsed.quiet, c.quiet);
    EXPECT_EQ(parsed.logPath, c.log);
  }
  // The limit: as given, else 30 minutes only where nobody can answer.
  using std::chrono::seconds;
  EXPECT_EQ(TimeLimit(ParseCommandLine({u"/timeout", u"0086400"}), false), seconds(86400));
  EXPECT_EQ(TimeLimit(ParseCommandLine({u"/timeout", u"0"}), false), seconds(0));
  EXPECT_EQ(TimeLimit(ParseCommandLine({u"/timeout", u"5"}), true), seconds(5));
  EXPECT_EQ(TimeLimit(ParseCommandLine({}), false), seconds(1800));
  EXPECT_EQ(TimeLimit(ParseCommandLine({}), true), seconds(0));
  EXPECT_EQ(CloseWait(ParseCommandLine({})), seconds(60));
  EXPECT_EQ(CloseWait(ParseCommandLine({u"/closewait", u"0"})), seconds(0));
  // Session 0 is nobody's, whatever its window station looks like.
  EXPECT_TRUE(SomeoneCanAnswer(ParseCommandLine({}), true, 1));
  EXPECT_FALSE(SomeoneCanAnswer(ParseCommandLine({}), true, 0));
  EXPECT_FALSE(SomeoneCanAnswer(ParseCommandLine({}), false, 1));
  EXPECT_FALSE(SomeoneCanAnswer(ParseCommandLine({u"/quiet"}), true, 1));
  const Text usage = UsageText();
  for (const char16_t* named :
       {u"/quiet", u"/log", u"/timeout", u"/closewait", u"/list", u"/?", u"1639", u"1641",
        u"Códigos de salida"})
    EXPECT_NE(usage.find(named), Text::npos) << fake::Narrow(named);
}

class BoxOrLogTest : public RunTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BoxOrLogTest, EveryTextGoesToTheLogAndToABoxOnlyWhereSomeoneCanAnswer) {
  const bool someoneCanAnswer = GetParam();
  BoxOrLog boxOrLog(window, log, someoneCanAnswer);
  boxOrLog.MsgBox(u"uno", platform::kInformationOk, std::nullopt);
  boxOrLog.ShowErrorBox({5, u"Acceso denegado.\r\n"});
  EXPECT_EQ(logFile.lines, (std::vector<Text>{u"Mensaje: uno", u"Error 5: Acceso denegado."}));
  EXPECT_EQ(window.messages.size(), someoneCanAnswer ? 1u : 0u);
  EXPECT_EQ(window.errors.size(), someoneCanAnswer ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Answer, BoxOrLogTest, ::testing::Bool());

TEST_F(RunTest, AnUnattendedRunShowsNoBoxGoesOnAsIfOkWerePressedAndLogsWhatItDid) {
  disk.AddFolder(u"C:\\users\\ana\\Desktop");
  disk.AddFile(u"C:\\users\\ana\\Desktop\\KavroII.lnk");
  disk.AddFolder(u"C:\\users\\Public\\Desktop");
  disk.AddFolder(u"c:\\kavro");
  disk.AddFile(u"c:\\kavro\\setup.exe");
  disk.AddFolder(u"c:\\kavro\\datos");
  disk.AddFolder(u"c:\\kavro\\datos\\sub");
  disk.AddFile(u"c:\\kavro\\datos\\a.dat");
  disk.AddFile(u"c:\\kavro\\datos\\sub\\b.dat");
  registry.AddProgram(u"KavroII", Text(u"Kavro II"), Text(u"quitar.exe /s"));
  registry.AddProgram(u"KavroAyuda", Text(u"Kavro Ayuda"), Text(u"C:\\NoExiste\\ayuda.exe"));
  processes.refused.insert(u"C:\\NoExiste\\ayuda.exe");
  // One that would ask first, with a quiet command (blank ones do not count); one that hangs.
  registry.AddProgram(u"KavroPregunta", Text(u"Kavro pregunta"), Text(u"pregunta.exe"));
  registry.SetValue(u"KavroPregunta", u"QuietUninstallString", u" pregunta.exe /S ");
  registry.SetValue(u"KavroII", u"QuietUninstallString", u"  ");
  registry.AddProgram(u"KavroColgado", Text(u"Kavro colgado"), Text(u"colgado.exe"));
  processes.scripts[u"colgado.exe"].hangs = true;
  processes.scripts[u"colgado.exe"].descendants = {u"C:\\Temp\\colgado-copia.exe"};
  // A Windows Installer product: removed with no UI at all, its verbose log beside ours.
  registry.AddProgram(u"KavroInformes", Text(u"Kavro informes"),
                      Text(u"MsiExec.exe /I{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}"));
  const Text msiexec = u"C:\\Windows\\SysWOW64\\msiexec.exe /x {6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B} "
                       u"/qn /norestart /L*v+ \"C:\\Logs\\DesinstalaKavro1-msi-KavroInformes.log\"";

  BoxOrLog nobody(window, log, false);
  Form1 form({nobody, registry, processes, shell,
              [this] { return std::make_unique<fake::FileSystem>(disk, journal); }},
             log, {false, std::chrono::seconds(1800), u"C:\\Logs"});
  form.Activated();

  EXPECT_TRUE(window.messages.empty());
  std::vector<Text> launched;
  for (const auto& started : processes.started) launched.push_back(started.command);
  EXPECT_EQ(launched, (std::vector<Text>{u"quitar.exe /s", u"C:\\NoExiste\\ayuda.exe",
                                         u"pregunta.exe /S", u"colgado.exe", msiexec}));
  EXPECT_EQ(Position("end-all"), Position("wait:time-up") + 1);
  EXPECT_EQ(Rows()[2].substr(100), u"pregunta.exe");  // the row shows the UninstallString
  EXPECT_EQ(form.ExitCode(), kExitCommandNotStarted);
  EXPECT_EQ(window.unloads, 1);
  const std::vector<Text> expected = {
      u"Borrado el acceso directo C:\\users\\ana\\Desktop\\KavroII.lnk",
      u"Programas instalados, vista de 32 bits: 5 subclaves, por el proveedor WMI",
      u"Componente encontrado: clave KavroII (vista de 32 bits), nombre \"Kavro II\", orden: "
      u"quitar.exe /s",
      u"Componente encontrado: clave KavroAyuda (vista de 32 bits), nombre \"Kavro Ayuda\", orden: "
      u"C:\\NoExiste\\ayuda.exe",
      u"Componente encontrado: clave KavroPregunta (vista de 32 bits), nombre \"Kavro pregunta\", "
      u"orden: "
      u"pregunta.exe, orden silenciosa (QuietUninstallString): pregunta.exe /S",
      u"Componente encontrado: clave KavroColgado (vista de 32 bits), nombre \"Kavro colgado\", "
      u"orden: colgado.exe",
      u"Componente encontrado: clave KavroInformes",
      u"Programas instalados, vista de 64 bits: 0 subclaves, por el proveedor WMI",
      u"c:\\kavro y lo que contiene son ahora de los administradores",
      u"Ejecutado: quitar.exe /s (",
      u"Mensaje: El programa: C:\\NoExiste\\ayuda.exe NO puede ser Ejecutado NO EXISTE.",
      u"No se pudo poner en marcha: C:\\NoExiste\\ayuda.exe",
      u"Ejecutado (QuietUninstallString): pregunta.exe /S (",
      u"Ejecutado: colgado.exe (",
      u"Tiempo agotado: la desinstalación de la clave KavroColgado (colgado.exe) no terminó en "
      u"1800 s; "
      u"terminados: C:\\Temp\\colgado-copia.exe; el componente cuenta como no desinstalado",
      u"Ejecutado: " + msiexec + u" (",
      // Components remain: their data stays for the retry (their programs are elsewhere).
      u"Se conserva la carpeta de datos c:\\kavro\\datos: la suite sigue instalada (queda: "
      u"clave KavroAyuda, nombre \"Kavro Ayuda\"; clave KavroPregunta",
      u"Borrado el ejecutable c:\\kavro\\setup.exe",
  };
  ASSERT_EQ(logFile.lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(logFile.lines[i].rfind(expected[i], 0), 0u) << fake::Narrow(logFile.lines[i]);
  // The severity each entry carries for the log viewers: an error, a warning, information.
  using platform::Severity;
  EXPECT_EQ(logFile.severities[9], Severity::Information);
  EXPECT_EQ(logFile.severities[11], Severity::Error);    // a command that cannot be started
  EXPECT_EQ(logFile.severities[13], Severity::Warning);  // ended at the time limit, so it remains
  EXPECT_EQ(logFile.severities[14], Severity::Warning);
  EXPECT_TRUE(logFile.Has(u"registro de msiexec: C:\\Logs\\DesinstalaKavro1-msi-KavroInformes.log"));
}

TEST(LogLayoutTest, OneEntryALineThatNothingInItsTextCanEndEarly) {
  const LogStamp stamp{2026, 3, 4, 5, 6, 7, 8, -60, 4242};
  EXPECT_EQ(CmtraceEntry(u"Fin: código", platform::Severity::Warning, stamp),
            u"<![LOG[Fin: código]LOG]!><time=\"05:06:07.008-060\" date=\"03-04-2026\" "
            u"component=\"DesinstalaKavro\" "
            u"context=\"\" type=\"2\" thread=\"4242\" file=\"\">");
  const Text tricky = CmtraceEntry(u"a]LOG]!>b\r\nc<![LOG[d", platform::Severity::Information,
                                   {2026, 12, 9, 23, 0, 0, 0, 480, 1});
  EXPECT_EQ(tricky.substr(0, 30), u"<![LOG[a]LOG]!\u200B>b  c<![LOG\u200B[d]");
  EXPECT_NE(tricky.find(u"time=\"23:00:00.000+480\""), Text::npos);
  // The last line is as grave as the exit status: a restart needed or started is no warning.
  fake::LogFile file;
  RunLog log(file);
  for (const int status : {kExitCompleted, kExitRestartNeeded, kExitRestartStarted,
                           kExitComponentsRemain, kExitErrorBox})
    log.Ended(status);
  using platform::Severity;
  EXPECT_EQ(file.severities, (std::vector<Severity>{Severity::Information, Severity::Information,
                                                    Severity::Information, Severity::Warning,
                                                    Severity::Error}));
}

}  // namespace
