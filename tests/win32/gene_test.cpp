// Gene under Wine, with child programs of our own: GUI and console children, refused
// commands, the show value, handle ownership and a responsive window while waiting.
#include "launch/Gene.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "handles.h"
#include "main/resource.h"
#include "platform/win32/form_window.h"
#include "platform/win32/process.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"
#include "watcher.h"

namespace {

using testing_win32::MessageBoxWatcher;

std::wstring TestFolder() {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

class GeneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    log = std::wstring(temp) + L"gene-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
    ::DeleteFileW(log.c_str());
  }
  void TearDown() override { ::DeleteFileW(log.c_str()); }

  bool Run(const std::wstring& command) {
    const Gene::Prepared prepared = Gene::Prepare(processes, win32::ToText(command), {});
    return Gene::RunAndWait(processes, window, prepared, Gene::kShowNormal).started;
  }
  std::string Log() const {
    std::ifstream in(std::filesystem::path(log), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const std::wstring gui = Quoted(TestFolder() + L"\\kavro_child.exe");
  const std::wstring console = Quoted(TestFolder() + L"\\kavro_child_console.exe");
  std::wstring log;
  win32::Processes processes;
  win32::FormWindow window{::GetModuleHandleW(nullptr), IDI_KAVRO};
};

TEST_F(GeneTest, GuiChildRunsToItsEnd) {
  EXPECT_TRUE(Run(gui + L" window 600 note " + Quoted(log) + L" fin"));
  EXPECT_EQ(Log(), "fin\n");
}

TEST_F(GeneTest, ConsoleChildRunsToItsEnd) {
  EXPECT_TRUE(Run(console + L" sleep 400 note " + Quoted(log) + L" fin"));
  EXPECT_EQ(Log(), "fin\n");
}

TEST_F(GeneTest, ChildGetsTheShowValueAndTheCommandLineIntact) {
  const std::wstring command = gui + L" startup " + Quoted(log) + L" record " + Quoted(log) +
                               L" note " + Quoted(log) + L" \"Compañía Ω 漢\"";
  EXPECT_TRUE(Run(command));
  const std::string expectedLine = [&] {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, command.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, command.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    return utf8;
  }();
  // This test program has standard handles (CTest's pipes): the child gets NUL instead.
  const bool given = ::GetStdHandle(STD_OUTPUT_HANDLE) || ::GetStdHandle(STD_INPUT_HANDLE);
  EXPECT_EQ(Log(), (given ? "flags=257 show=1\n" : "flags=1 show=1\n") + expectedLine + "\n" +
                       "Compañía Ω 漢\n");
}

TEST_F(GeneTest, MissingProgramIsReported) {
  MessageBoxWatcher watcher;
  EXPECT_FALSE(Run(L"C:\\NoExiste\\quitar.exe"));
  const auto seen = watcher.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, L"Mensaje");
  EXPECT_EQ(seen[0].text, L"El programa: C:\\NoExiste\\quitar.exe NO puede ser Ejecutado NO EXISTE.");
}

TEST_F(GeneTest, EmptyCommandIsReportedWithTwoBlanks) {
  MessageBoxWatcher watcher;
  EXPECT_FALSE(Run(L""));
  const auto seen = watcher.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"El programa:  NO puede ser Ejecutado NO EXISTE.");
}

TEST_F(GeneTest, ChildThatHasEndedBeforeTheFirstCheckCausesNoPump) {
  auto process = processes.Start(win32::ToText(TestFolder() + L"\\kavro_child_console.exe"),
                                 win32::ToText(console + L" note " + Quoted(log) + L" fin"), 1,
                                 false);
  ASSERT_NE(process, nullptr);
  for (int i = 0; i < 500 && Log().empty(); ++i) ::Sleep(10);
  ::Sleep(500);  // the child has written its note; give it time to be gone
  // A message waits in this thread's queue: it must still be there after the wait.
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_USER + 9, 0, 0);
  Gene::WaitForProcessExit(window, *process);
  MSG msg;
  EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_USER + 9, WM_USER + 9, PM_REMOVE));
}

// A program in a folder any user may change could have been replaced: where only the
// administrators' programs may run it is refused; elsewhere it starts, and says so. (Wine
// keeps no permissions but the file's mode: a folder everyone may write to is one whose mode
// lets others write.)
TEST_F(GeneTest, AProgramOthersMayReplaceIsRefusedWhereOnlyTheAdministratorsMayChangeIt) {
  const std::filesystem::path open = std::filesystem::path(log).replace_extension(L".abierta");
  std::filesystem::create_directory(open);
  const std::wstring program = (open / L"quitar.exe").wstring();
  ASSERT_TRUE(::CopyFileW((TestFolder() + L"\\kavro_child_console.exe").c_str(), program.c_str(), FALSE));
  const win32::UniqueDescriptor everyone = win32::DescriptorFrom(L"D:P(A;OICI;FA;;;WD)");
  ASSERT_TRUE(::SetFileSecurityW(open.c_str(), DACL_SECURITY_INFORMATION, everyone.get()));
  const Text command = win32::ToText(Quoted(program) + L" note " + Quoted(log) + L" fin");
  EXPECT_EQ(processes.Start(win32::ToText(program), command, 1, true), nullptr);
  const std::unique_ptr<platform::Process> started =
      processes.Start(win32::ToText(program), command, 1, false);
  ASSERT_NE(started, nullptr);
  EXPECT_TRUE(started->OthersCanReplace());
  Gene::WaitForProcessExit(window, *started);
  EXPECT_EQ(Log(), "fin\n");
  std::filesystem::remove_all(open);
}

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(GeneTest, NoHandleOfAFinishedLaunchStaysOpen) {
  Run(console + L" exit 0");
  Run(gui + L" exit 0");
  const long before = testing_win32::LowestFreeHandleSlot();
  int guiLaunches = 0;
  for (int i = 0; i < 300; ++i) {
    const bool isGui = i % 2 == 0;
    guiLaunches += isGui;
    ASSERT_TRUE(Run(isGui ? gui + L" exit 0" : console + L" exit 3")) << i;
  }
  // Wine 8's WaitForInputIdle opens a handle to a GUI child's idle event on every call and
  // never closes it; that one is Wine's. Ours are two per launch: leaking either would move
  // the slot by 300 more.
  const long wineOwn = UnderWine() ? guiLaunches : 0;
  EXPECT_LE(testing_win32::LowestFreeHandleSlot(), before + wineOwn + 4);
}

// A window of the test's own, on this thread, that notes when a posted message reaches it.
LRESULT CALLBACK NotingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP + 3) {
    *reinterpret_cast<std::atomic<bool>*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)) = true;
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST_F(GeneTest, WindowAnswersWhileTheChildRuns) {
  window.Show();
  HWND hwnd = window.Handle();
  WNDCLASSW wc{};
  wc.lpfnWndProc = NotingProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KavroNoting";
  ::RegisterClassW(&wc);
  HWND noting = ::CreateWindowExW(0, L"KavroNoting", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
  std::atomic<bool> posted{false}, answered{false};
  ::SetWindowLongPtrW(noting, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&posted));

  std::thread sender([&] {
    ::Sleep(800);
    ::PostMessageW(noting, WM_APP + 3, 0, 0);  // reaches its window only through a pump
    wchar_t caption[64];
    DWORD_PTR copied = 0;
    // Long enough that an unresponsive window would only answer after the wait is over.
    if (::SendMessageTimeoutW(hwnd, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(caption), SMTO_NORMAL,
                              10000, &copied)) {
      answered = true;
    }
  });
  // A child with a window of its own: ready for input at once, then running for 3 s.
  EXPECT_TRUE(Run(gui + L" window 3000"));
  const bool postedDuringTheWait = posted, answeredDuringTheWait = answered;
  while (!answered) {  // let a late answer through so the sender can finish
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(10);
  }
  sender.join();
  ::DestroyWindow(noting);
  EXPECT_TRUE(postedDuringTheWait);
  EXPECT_TRUE(answeredDuringTheWait);
}

}  // namespace
