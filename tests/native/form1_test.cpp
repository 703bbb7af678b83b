// The run of Form1 over fakes of the platform: discovery of the suite's components.
#include "run/Form1.h"

#include <gtest/gtest.h>

#include "run/ComponentRow.h"
#include "run_fixture.h"

namespace {

const Text kNotInstalled = u"La aplicación KavroII No está instalada en el equipo";

// ---- which programs are components of the suite ----

struct Selection {
  const char16_t* displayName;
  bool selected;
};

void PrintTo(const Selection& s, std::ostream* os) {
  *os << '"' << fake::Narrow(s.displayName) << (s.selected ? "\" selected" : "\" left out");
}

class SelectionTest : public RunTest, public ::testing::WithParamInterface<Selection> {};

TEST_P(SelectionTest, ProductWordInAnyCaseButNotTheSiblingAsAWhole) {
  registry.AddProgram(u"Programa", Text(GetParam().displayName), Text(u"quitar.exe"));
  Run();
  EXPECT_EQ(Rows().size(), GetParam().selected ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    DisplayNames, SelectionTest,
    ::testing::Values(Selection{u"Kavro II", true}, Selection{u"kavro", true},
                      Selection{u"KAVRO", true}, Selection{u"Utilidades kAvRo de red", true},
                      Selection{u"MiKavroPlus", true}, Selection{u"LUMBEKAVRO", false},
                      Selection{u"LumbeKavro", false}, Selection{u"lumbekavro", false},
                      Selection{u"LumbeKavro Pro", true}, Selection{u"LUMBEKAVRO ", true},
                      Selection{u" LUMBEKAVRO", true}, Selection{u"Kavr o", false},
                      Selection{u"KAVR", false}, Selection{u"", false},
                      Selection{u"Lumbe", false}),
    [](const ::testing::TestParamInfo<Selection>& info) {
      return (info.param.selected ? "selected_" : "left_out_") + std::to_string(info.index);
    });

TEST_F(RunTest, ProgramsWithoutDisplayNameAreNotSelected) {
  registry.AddProgram(u"SinNombre", std::nullopt, Text(u"kavro.exe /quitar"));
  Run();
  EXPECT_TRUE(Rows().empty());
}

// ---- the rows ----

TEST_F(RunTest, RowsHaveTheNameFieldOfExactlyOneHundredCharacters) {
  const Text name100 = Text(u"Kavro ") + Text(94, u'n');
  const Text name130 = Text(u"Kavro ") + Text(124, u'm');
  registry.AddProgram(u"a", Text(u"KII"), Text(u"C:\\a.exe"));  // no product word: left out
  registry.AddProgram(u"b", Text(u"Kav"), Text(u"C:\\b.exe"));
  registry.AddProgram(u"c", Text(u"kavro"), Text(u"C:\\c.exe /x"));
  registry.AddProgram(u"d", name100, Text(u"C:\\d.exe"));
  registry.AddProgram(u"e", name130, Text(u"C:\\e.exe"));
  registry.AddProgram(u"f", Text(u"Kavro ") + Text(40000, u'x'), Text(u"C:\\f.exe"));
  Run();
  // A name longer than any read is cut, and said to be; no log entry is longer than its bound.
  EXPECT_TRUE(logFile.Has(u"el valor DisplayName de la clave f tiene más de 32767 caracteres"));
  for (const Text& line : logFile.lines) EXPECT_LE(line.size(), RunLog::kLongestEntry + 40);
  Rows().pop_back();
  ASSERT_EQ(Rows().size(), 3u);
  EXPECT_EQ(Rows()[0], u"kavro" + Text(95, u' ') + u"C:\\c.exe /x");
  EXPECT_EQ(Rows()[1], name100 + u"C:\\d.exe");
  EXPECT_EQ(Rows()[1][100], u'C');
  EXPECT_EQ(Rows()[2], name130.substr(0, 100) + u"C:\\e.exe");
}

TEST_F(RunTest, ThreeCharacterNameIsFollowedByNinetySevenSpaces) {
  EXPECT_EQ(ComponentRow(u"KII", u"x.exe"), u"KII" + Text(97, u' ') + u"x.exe");
}

TEST_F(RunTest, CommandIsKeptExactlyAsRead) {
  const Text command = u"  \"C:\\Archivos de programa\\Kavro\\desinstalar.exe\" /modo=ñ  ";
  registry.AddProgram(u"k", Text(u"Kavro"), command);
  Run();
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0].substr(100), command);
}

TEST_F(RunTest, MissingUninstallStringGivesARowOfExactlyTheNameField) {
  registry.AddProgram(u"k", Text(u"Kavro Datos"), std::nullopt);
  Run();
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0].size(), 100u);
}

TEST_F(RunTest, RowsFollowTheProvidersOrderAndDuplicatesStay) {
  registry.AddProgram(u"z", Text(u"Kavro Z"), Text(u"z.exe"));
  registry.AddProgram(u"otro", Text(u"Otro programa"), Text(u"otro.exe"));
  registry.AddProgram(u"a", Text(u"Kavro A"), Text(u"a.exe"));
  registry.AddProgram(u"a2", Text(u"Kavro A"), Text(u"a2.exe"));
  Run();
  ASSERT_EQ(Rows().size(), 3u);
  EXPECT_EQ(CommandOfRow(Rows()[0]), u"z.exe");
  EXPECT_EQ(CommandOfRow(Rows()[1]), u"a.exe");
  EXPECT_EQ(CommandOfRow(Rows()[2]), u"a2.exe");
  EXPECT_EQ(Rows()[1].substr(0, 100), Rows()[2].substr(0, 100));
}

TEST_F(RunTest, DisplayNameIsReadForEverySubkeyAndTheCommandOnlyForComponents) {
  registry.AddProgram(u"Otro", Text(u"Otro"), Text(u"otro.exe"));
  registry.AddProgram(u"Kv", Text(u"Kavro"), Text(u"kv.exe"));
  Run();
  EXPECT_TRUE(Journaled("read:OTRO/DisplayName"));
  EXPECT_FALSE(Journaled("read:OTRO/UninstallString"));
  EXPECT_TRUE(Journaled("read:KV/DisplayName"));
  EXPECT_TRUE(Journaled("read:KV/UninstallString"));
}

TEST_F(RunTest, ListIsClearedBeforeDiscovery) {
  window.lstKeys.rows = {u"left over"};
  registry.AddProgram(u"k", Text(u"Kavro"), Text(u"k.exe"));
  Run();
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(CommandOfRow(Rows()[0]), u"k.exe");
}

// ---- running the uninstallers ----

std::vector<Text> Launched(const fake::Processes& processes) {
  std::vector<Text> commands;
  for (const auto& started : processes.started) commands.push_back(started.command);
  return commands;
}

TEST_F(RunTest, EachRowsCommandIsCutOutAndTrimmed) {
  registry.AddProgram(u"a", Text(u"KII kavro"), Text(u"C:\\a.exe"));
  registry.AddProgram(u"b", Text(u"Kavro ") + Text(94, u'b'), Text(u"C:\\b.exe /s"));
  registry.AddProgram(u"c", Text(u"Kavro ") + Text(124, u'c'), Text(u"C:\\c.exe"));
  registry.AddProgram(u"d", Text(u"Kavro d"), Text(u"   \"C:\\Archivos de programa\\d.exe\" /x   "));
  Run();
  EXPECT_EQ(Launched(processes),
            (std::vector<Text>{u"C:\\a.exe", u"C:\\b.exe /s", u"C:\\c.exe",
                               u"\"C:\\Archivos de programa\\d.exe\" /x"}));
  for (const auto& started : processes.started) EXPECT_EQ(started.show, 1);
}

TEST_F(RunTest, RowsRunOneAfterAnotherInListOrderEachSelectedWhileItRuns) {
  registry.AddProgram(u"1", Text(u"Kavro uno"), Text(u"uno.exe"));
  registry.AddProgram(u"2", Text(u"Kavro dos"), Text(u"dos.exe"));
  processes.scripts[u"uno.exe"].inputsBeforeEnd = 2;
  Run();
  const fake::Journal expected{"select:0", "start:uno.exe", "idle", "close-thread",
                                   "wait:input", "pump", "wait:input", "pump", "wait:ended",
                                   "close-process", "select:1", "start:dos.exe", "idle",
                                   "close-thread", "wait:ended", "close-process"};
  const long first = Position("select:0");
  ASSERT_GE(first, 0);
  ASSERT_LE(first + static_cast<long>(expected.size()), static_cast<long>(journal.size()));
  EXPECT_EQ(fake::Journal(journal.begin() + first, journal.begin() + first + static_cast<long>(expected.size())),
            expected);
}

TEST_F(RunTest, ARefusedOrEmptyCommandDoesNotStopTheRest) {
  registry.AddProgram(u"1", Text(u"Kavro uno"), Text(u"uno.exe"));
  registry.SetValue(u"1", u"QuietUninstallString", u"uno.exe /S");  // someone can answer: unused
  registry.AddProgram(u"2", Text(u"Kavro dos"), Text(u"C:\\NoExiste\\dos.exe"));
  registry.AddProgram(u"3", Text(u"Kavro tres"), std::nullopt);
  registry.AddProgram(u"4", Text(u"Kavro cuatro"), Text(u"cuatro.exe"));
  processes.refused.insert(u"C:\\NoExiste\\dos.exe");
  Run();
  // The empty command names no program: it is reported without reaching the platform.
  EXPECT_EQ(Launched(processes),
            (std::vector<Text>{u"uno.exe", u"C:\\NoExiste\\dos.exe", u"cuatro.exe"}));
  ASSERT_EQ(window.messages.size(), 2u);
  EXPECT_EQ(window.messages[0].text, u"El programa: C:\\NoExiste\\dos.exe NO puede ser Ejecutado NO EXISTE.");
  EXPECT_EQ(window.messages[1].text, u"El programa:  NO puede ser Ejecutado NO EXISTE.");
}

TEST_F(RunTest, PackageRowsAreRemovedThroughMsiexecAndJudgedByItsExitCode) {
  registry.AddProgram(u"p", Text(u"Kavro Visor"), Text(u"C:\\Kavro paquetes\\visor.msi"));
  const Text msiexec =
      u"C:\\Windows\\SysWOW64\\msiexec.exe /uninstall \"C:\\Kavro paquetes\\visor.msi\" /passive "
      u"/norestart";
  processes
      .onStart = {};  // msiexec removes the product, never the suite's entry naming the package
  Run();
  EXPECT_EQ(Launched(processes), std::vector<Text>{msiexec});
  EXPECT_TRUE(logFile.Has(u"la entrada sigue registrada, como es normal en un paquete"));
  EXPECT_EQ(exitCode, kExitCompleted);
  processes.scripts[msiexec].exitCode = 1603;
  Run();
  EXPECT_EQ(exitCode, kExitComponentsRemain);

  // Its verbose log goes to the administrators' folder the run is given (never beside a /log
  // others may change), made by the run before msiexec appends to it; where it cannot be
  // made, msiexec runs without one, and the log says why.
  RunOptions options;
  options.msiexecLogFolder = u"C:\\Windows\\Logs\\Software";
  const Text log = u"C:\\Windows\\Logs\\Software\\DesinstalaKavro1-msi-p.log";
  Run(options);
  EXPECT_EQ(Launched(processes).back(), msiexec + u" /L*v+ \"" + log + u'"');
  EXPECT_LT(Position("make-log:" + fake::Narrow(log)), Position("start:" + fake::Narrow(Launched(processes).back())));
  disk.logFilesRefused = true;
  Run(options);
  EXPECT_EQ(Launched(processes).back(), msiexec);
  EXPECT_TRUE(logFile.Has(u"Aviso: msiexec se ejecuta sin registro propio: no se pudo crear " + log));
}

TEST_F(RunTest, ThreeHundredRowsAllRunInOrder) {
  std::vector<Text> expected;
  for (int i = 0; i < 300; ++i) {
    const std::string digits = std::to_string(1000 + i);
    const Text number(digits.begin(), digits.end());
    registry.AddProgram(u"k" + number, u"Kavro " + number, u"quitar" + number + u".exe");
    expected.push_back(u"quitar" + number + u".exe");
  }
  Run();
  EXPECT_EQ(Launched(processes), expected);
}

TEST_F(RunTest, NothingRunsWhenNoComponentIsFound) {
  Run();
  EXPECT_TRUE(processes.started.empty());
}

// ---- the suite is not installed ----

TEST_F(RunTest, NoComponentShowsTheMessageUnderTheApplicationTitle) {
  registry.AddProgram(u"otro", Text(u"Otro programa"), Text(u"otro.exe"));
  registry.AddProgram(u"hermano", Text(u"LUMBEKAVRO"), Text(u"lumbe.exe"));
  Run();
  EXPECT_TRUE(Rows().empty());
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text, kNotInstalled);
  EXPECT_EQ(window.messages[0].style, 64);
  EXPECT_FALSE(window.messages[0].title.has_value());
  EXPECT_TRUE(window.errors.empty());
}

TEST_F(RunTest, AnEmptyListingIsTheSameAsNoComponent) {
  registry.names = std::vector<Text>{};
  Run();
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text, kNotInstalled);
  EXPECT_TRUE(window.errors.empty());
}

// ---- both registry views ----

using View = platform::RegistryView;

TEST_F(RunTest, TheSixtyFourBitViewsComponentsComeAfterTheThirtyTwoBitOnesAndAreCheckedThere) {
  registry.AddProgram(u"z32", Text(u"Kavro Z"), Text(u"z.exe"));
  registry.AddProgram(u"a32", Text(u"Otro"), Text(u"otro.exe"));
  registry.AddProgram(u"b64", Text(u"Kavro servicio 64"), Text(u"b64.exe"), View::SixtyFourBit);
  registry.AddProgram(u"c64", Text(u"Controlador"), Text(u"c64.exe"), View::SixtyFourBit);
  registry.AddProgram(u"a64", Text(u"LUMBEKAVRO"), Text(u"l64.exe"), View::SixtyFourBit);
  registry.AddProgram(u"d64", Text(u"kavro driver"), Text(u"d64.exe"), View::SixtyFourBit);
  Run();
  EXPECT_EQ(Launched(processes), (std::vector<Text>{u"z.exe", u"b64.exe", u"d64.exe"}));
  EXPECT_TRUE(logFile.Has(u"clave b64 (vista de 64 bits)"));
  EXPECT_EQ(exitCode, kExitCompleted);  // each entry was looked for again in its own view

  // On 32-bit Windows there is no second view: the listing is the 32-bit one alone.
  registry.sixtyFourBitView = false;
  registry.AddProgram(u"e64", Text(u"Kavro e"), Text(u"e64.exe"), View::SixtyFourBit);
  journal.clear();
  Run();
  EXPECT_EQ(Starting("enum:"),
            std::vector<std::string>{"enum:" + fake::Narrow(fake::Registry::kUninstall)});
}

// Any user may fill their own list with entries of the suite: the run's log (and /list, as the
// Wine scenario shows) names the first ten of each user's, cut to a few hundred characters,
// and counts the rest.
TEST_F(RunTest, UsersOwnEntriesAreNamedTenAUserAndTheRestCounted) {
  const Text uninstall = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  for (const char16_t* sid : {u"S-1-5-21-1", u"S-1-5-21-2"}) registry.AddKey(u"HKEY_USERS", sid);
  for (int i = 0; i < 25; ++i)
    registry.AddKey(u"HKEY_USERS\\S-1-5-21-1" + uninstall, u"K" + DecimalText(i))[u"DISPLAYNAME"] =
        fake::Registry::Sz(u"Kavro " + (i == 0 ? Text(5000, u'x') : DecimalText(i)));
  registry.AddKey(u"HKEY_USERS\\S-1-5-21-2" + uninstall, u"Beto")[u"DISPLAYNAME"] =
      fake::Registry::Sz(u"Kavro de beto");
  const auto count = [](const std::vector<Text>& lines, const Text& part) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const Text& line) { return line.find(part) != Text::npos; });
  };
  Run();
  const Text ana = u"HKEY_USERS\\S-1-5-21-1";
  EXPECT_EQ(count(logFile.lines, u"instalación propia de un usuario: " + ana + u'\\'), 10);
  EXPECT_TRUE(logFile.Has(u"Aviso: 15 instalaciones propias más de KavroII en " + ana + u","));
  EXPECT_TRUE(logFile.Has(u"K0, nombre \"Kavro " + Text(294, u'x') + u"… (cortado)\""));
  EXPECT_TRUE(logFile.Has(uninstall + u"\\Beto, nombre \"Kavro de beto\""));
  EXPECT_EQ(count(logFile.lines, u"más de KavroII en HKEY_USERS\\S-1-5-21-2"), 0);
}

TEST_F(RunTest, AProviderThatFailsIsReplacedByTheRegistryFunctionsWithTheSameLimit) {
  registry.providerFails = true;
  registry.AddProgram(u"k32", Text(u"Kavro"), Text(u"k.exe"));
  for (int i = 0; i < 33000; ++i) {
    const std::string digits = std::to_string(100000 + i);
    registry.AddProgram(u"p" + Text(digits.begin(), digits.end()), Text(u"Programa"), Text(u"p.exe"),
                        View::SixtyFourBit);
  }
  registry.AddProgram(u"zz64", Text(u"Kavro pasado el límite"), Text(u"zz.exe"), View::SixtyFourBit);
  Run();
  EXPECT_EQ(Launched(processes), std::vector<Text>{u"k.exe"});
  EXPECT_TRUE(Journaled("enum-direct:" + fake::Narrow(fake::Registry::kUninstall) + " 64"));
  EXPECT_TRUE(logFile.Has(u"vista de 32 bits: 1 subclaves, por las funciones del registro"));
  EXPECT_TRUE(logFile.Has(u"vista de 64 bits: 32767 subclaves, por las funciones del registro"));
  EXPECT_TRUE(window.messages.empty());
  // One that does not answer in time is said to, and its views are listed the same way.
  registry.providerFails = false;
  registry.providerTimesOut = true;
  Run();
  EXPECT_TRUE(logFile.Has(u"por las funciones del registro (el proveedor WMI no respondió en 30 s)"));
}

TEST_F(RunTest, ComponentsFoundShowNoMessage) {
  registry.AddProgram(u"k", Text(u"Kavro"), Text(u"k.exe"));
  Run();
  EXPECT_TRUE(window.messages.empty());
}

// ---- errors nothing absorbs ----

// A list whose operations fail as a control that raises an error would.
class FailingList final : public platform::ListBox {
 public:
  void Clear() override {}
  void AddItem(const Text&) override { throw platform::Error{8, u"Memoria insuficiente"}; }
  int ListCount() const override { return 0; }
  Text List(int) const override { return Text(); }
  void SetListIndex(int) override {}
};

class FailingListWindow final : public platform::Window {
 public:
  explicit FailingListWindow(fake::Window& inner) : inner_(inner) {}
  platform::ListBox& LstKeys() override { return list_; }
  platform::FileListBox& File1() override { return inner_.File1(); }
  void MsgBox(const Text& t, int s, const std::optional<Text>& title) override { inner_.MsgBox(t, s, title); }
  void DoEvents() override { inner_.DoEvents(); }
  void Unload() override { inner_.Unload(); }
  void ShowErrorBox(const platform::Error& e) override { inner_.ShowErrorBox(e); }

 private:
  fake::Window& inner_;
  FailingList list_;
};

TEST_F(RunTest, AnErrorEndsTheRunWithTheErrorBoxAndExitStatusTwo) {
  registry.AddProgram(u"k", Text(u"Kavro"), Text(u"k.exe"));
  FailingListWindow failing(window);
  Form1 form = MakeForm(failing);
  form.Activated();
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_EQ(window.errors[0].number, 8u);
  EXPECT_EQ(window.errors[0].message, u"Memoria insuficiente");
  EXPECT_EQ(window.unloads, 1);
  EXPECT_TRUE(window.messages.empty());  // the steps after the failing one do not run
  EXPECT_EQ(form.ExitCode(), kExitErrorBox);
  EXPECT_EQ(journal.back(), "unload");
}

}  // namespace
