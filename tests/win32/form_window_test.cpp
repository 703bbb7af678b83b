// The Win32 window under Wine: the form as designed, its controls, the file listing, message
// boxes, the event pump and unloading.
#include "main/resource.h"
#include "platform/win32/form_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/win32/dpi.h"
#include "platform/win32/files.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"
#include "watcher.h"

namespace {

namespace fs = std::filesystem;
using testing_win32::MessageBoxWatcher;

int Px(int twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[64] = {};
  ::GetClassNameW(hwnd, buffer, 64);
  return buffer;
}

RECT ChildRect(HWND parent, HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Pumps this thread's messages until the condition holds or five seconds have passed.
template <typename F>
bool PumpUntil(F condition) {
  const DWORD start = ::GetTickCount();
  while (!condition() && ::GetTickCount() - start < 5000) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::Sleep(10);
  }
  return condition();
}

class FormWindowTest : public ::testing::Test {
 protected:
  win32::FormWindow window{::GetModuleHandleW(nullptr), IDI_KAVRO};
  HWND hwnd = window.Handle();
  UINT dpi = win32::DpiForWindow(hwnd);
  HWND file1 = ::GetDlgItem(hwnd, 101);
  HWND list = ::GetDlgItem(hwnd, 102);
  HWND label = ::GetDlgItem(hwnd, 103);
};

TEST_F(FormWindowTest, FormHasItsCaptionSizeBorderAndPlace) {
  EXPECT_EQ(TextOf(hwnd), L"Desinstalador KavroII");
  RECT client;
  ::GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, Px(5610, dpi));
  EXPECT_EQ(client.bottom, Px(1575, dpi));
  if (dpi == 96) {
    EXPECT_EQ(client.right, 374);
    EXPECT_EQ(client.bottom, 105);
  }

  const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  // Owned by a hidden window and not marked as an application window: no taskbar button.
  HWND owner = ::GetWindow(hwnd, GW_OWNER);
  ASSERT_NE(owner, nullptr);
  EXPECT_FALSE(::IsWindowVisible(owner));
  EXPECT_FALSE(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  // The program's icon, at the sizes the system asks for.
  for (auto [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
    auto icon = reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, which, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(metric));
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
  }
  EXPECT_EQ(reinterpret_cast<HBRUSH>(::GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND)),
            static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));

  RECT frame;
  ::GetWindowRect(hwnd, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  EXPECT_LE(std::abs((frame.left + frame.right) - (screen.left + screen.right)), 1);
  EXPECT_LE(std::abs((frame.top + frame.bottom) - (screen.top + screen.bottom)), 1);
}

TEST_F(FormWindowTest, ControlsComeInCreationOrderWithTheirPlacesAndLooks) {
  HWND first = ::GetWindow(hwnd, GW_CHILD);
  ASSERT_EQ(first, file1);
  EXPECT_EQ(::GetWindow(file1, GW_HWNDNEXT), list);
  EXPECT_EQ(::GetWindow(list, GW_HWNDNEXT), label);
  EXPECT_EQ(::GetWindow(label, GW_HWNDNEXT), nullptr);

  EXPECT_FALSE(::GetWindowLongW(file1, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(ClassOf(list), L"ListBox");
  const LONG listStyle = ::GetWindowLongW(list, GWL_STYLE);
  EXPECT_TRUE(listStyle & WS_VISIBLE);
  EXPECT_TRUE(listStyle & WS_TABSTOP);
  EXPECT_FALSE(listStyle & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | LBS_MULTICOLUMN));
  EXPECT_EQ(TextOf(label), L"Componentes a desinstalar");

  struct Expected {
    HWND control;
    int left, top, width, height;
  } const expected[] = {{file1, 2715, 105, 330, 285},
                        {list, 180, 375, 5280, 1020},
                        {label, 165, 105, 2535, 225}};
  for (const auto& e : expected) {
    SCOPED_TRACE(ClassOf(e.control) + L" " + std::to_wstring(::GetDlgCtrlID(e.control)));
    const RECT r = ChildRect(hwnd, e.control);
    EXPECT_EQ(r.left, Px(e.left, dpi));
    EXPECT_EQ(r.top, Px(e.top, dpi));
    EXPECT_EQ(r.right - r.left, Px(e.width, dpi));
    EXPECT_EQ(r.bottom - r.top, Px(e.height, dpi));
  }

  LOGFONTW font{};
  ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)),
                           sizeof font, &font));
  EXPECT_STREQ(font.lfFaceName, L"Tahoma");
  EXPECT_EQ(font.lfHeight, -::MulDiv(975, static_cast<int>(dpi), 7200));
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  EXPECT_FALSE(font.lfItalic);
  EXPECT_FALSE(font.lfUnderline);

  // The colours the window hands its controls when they paint.
  HDC dc = ::CreateCompatibleDC(nullptr);
  ::SendMessageW(hwnd, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(list));
  EXPECT_EQ(::GetTextColor(dc), 0x00400000u);
  ::SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
  EXPECT_EQ(::GetTextColor(dc), 0x00800000u);
  EXPECT_EQ(::GetBkColor(dc), 0x00FFFFFFu);
  ::DeleteDC(dc);
}

TEST_F(FormWindowTest, ActivationRunsOnceAfterShowWithCloseRefused) {
  int runs = 0;
  bool visibleDuringRun = false, closeGrayed = false, survivedClose = false;
  LRESULT logoffDuringRun = TRUE;
  window.SetActivateHandler([&] {
    ++runs;
    visibleDuringRun = ::IsWindowVisible(hwnd);
    closeGrayed = ::GetMenuState(::GetSystemMenu(hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED;
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    survivedClose = ::IsWindow(hwnd);
    logoffDuringRun = ::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    ::SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);  // it ends all the same
  });
  int endings = 0;
  window.SetEndSessionHandler([&] { ++endings; });
  window.Show();
  ASSERT_TRUE(PumpUntil([&] { return runs > 0; }));
  EXPECT_TRUE(visibleDuringRun);
  EXPECT_TRUE(closeGrayed);
  EXPECT_TRUE(survivedClose);
  EXPECT_FALSE(logoffDuringRun);  // a logoff or shutdown does not cut the run short
  EXPECT_EQ(endings, 1);          // but where it does, the run hears of it
  EXPECT_EQ(::GetFocus(), list);

  // Activating again does not start a second run; after the run, closing works again.
  ::SendMessageW(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
  PumpUntil([] { return false; });
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(::GetMenuState(::GetSystemMenu(hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
  ::SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_EQ(endings, 1);  // no run under way: nothing to say
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(FormWindowTest, AnUnattendedRunStartsByItselfWithoutTheWindowShown) {
  int runs = 0;
  window.SetActivateHandler([&] { ++runs; });
  window.StartRun();
  window.StartRun();
  ASSERT_TRUE(PumpUntil([&] { return runs > 0; }));
  PumpUntil([] { return false; });
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(::IsWindowVisible(hwnd));
}

TEST_F(FormWindowTest, ListKeepsRowsInTheOrderTheyWereAdded) {
  platform::ListBox& rows = window.LstKeys();
  rows.AddItem(u"zeta");
  rows.AddItem(u"alfa");
  const Text wide = Text(4000, u'x') + u"ñ\U0001F600";
  rows.AddItem(wide);
  ASSERT_EQ(rows.ListCount(), 3);
  EXPECT_EQ(rows.List(0), u"zeta");
  EXPECT_EQ(rows.List(1), u"alfa");
  EXPECT_EQ(rows.List(2), wide);
  rows.SetListIndex(1);
  EXPECT_EQ(::SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
  // Redrawing waits while rows come in (WM_SETREDRAW clears the visible bit) and resumes
  // once events are processed.
  window.DoEvents();
  EXPECT_TRUE(::GetWindowLongW(list, GWL_STYLE) & WS_VISIBLE);
  try {
    rows.List(3);
    ADD_FAILURE() << "a row past the end must fail";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.number, static_cast<std::uint32_t>(ERROR_INVALID_INDEX));
  }
  rows.Clear();
  EXPECT_EQ(rows.ListCount(), 0);
}

class FileListTest : public FormWindowTest {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    folder = fs::path(temp) / (L"file1-" + std::to_wstring(::GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder / L"sub.exe");
    for (const wchar_t* name : {L"b.exe", L"A.EXE", L"c.txt", L"e.Exe", L"setup.exee",
                                L"oculto.exe", L"sistema.exe", L"con espacios ñ.exe"}) {
      std::FILE* f = _wfopen((folder / name).c_str(), L"wb");
      ASSERT_NE(f, nullptr);
      std::fclose(f);
    }
    ::SetFileAttributesW((folder / L"oculto.exe").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesW((folder / L"sistema.exe").c_str(), FILE_ATTRIBUTE_SYSTEM);
  }
  void TearDown() override {
    ::SetFileAttributesW((folder / L"oculto.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesW((folder / L"sistema.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(folder);
  }
  std::vector<Text> Listed() {
    std::vector<Text> names;
    for (int i = 0; i < window.File1().ListCount(); ++i) names.push_back(window.File1().List(i));
    return names;
  }
  Text Folder() const { return win32::ToText(folder.wstring()); }

  fs::path folder;
};

TEST_F(FileListTest, ListsTheFolderFilesMatchingByTheirOwnNameInNameOrder) {
  platform::HeldFolder held = win32::FileSystem().HoldFolder(Folder());
  ASSERT_TRUE(held.folder);
  window.File1().SetFolder(*held.folder);
  window.File1().SetPattern(u"*.exe");
  // Not the folder sub.exe, not the hidden or system files, and not setup.exee, whose short
  // alias ends in .EXE.
  EXPECT_EQ(Listed(), (std::vector<Text>{u"A.EXE", u"b.exe", u"con espacios ñ.exe", u"e.Exe"}));

  // The listing is taken when the pattern is set, and not refreshed afterwards.
  fs::remove(folder / L"b.exe");
  EXPECT_EQ(window.File1().ListCount(), 4);
  window.File1().SetPattern(u"*.txt");
  EXPECT_EQ(Listed(), (std::vector<Text>{u"c.txt"}));
}

TEST_F(FormWindowTest, MessageBoxesShowTheirTextUnderTheApplicationTitleUnlessGiven) {
  MessageBoxWatcher watcher;
  window.MsgBox(u"La aplicación KavroII No está instalada en el equipo", platform::kInformationOk,
                std::nullopt);
  window.MsgBox(u"El programa:  NO puede ser Ejecutado NO EXISTE.", platform::kInformationOk,
                Text(u"Mensaje"));
  const auto seen = watcher.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].title, L"DesinstalaKavro");
  EXPECT_EQ(seen[0].text, L"La aplicación KavroII No está instalada en el equipo");
  EXPECT_EQ(seen[0].owner, hwnd);
  EXPECT_EQ(seen[1].title, L"Mensaje");
  EXPECT_EQ(seen[1].text, L"El programa:  NO puede ser Ejecutado NO EXISTE.");
}

TEST_F(FormWindowTest, ErrorBoxShowsThePlatformsNumberAndMessage) {
  MessageBoxWatcher watcher;
  const platform::Error error = win32::ErrorFromCode(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(error.message.empty());
  window.ShowErrorBox(error);
  const auto seen = watcher.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, L"DesinstalaKavro");
  EXPECT_NE(seen[0].text.find(L"5"), std::wstring::npos);
  EXPECT_NE(seen[0].text.find(win32::WideString(error.message)), std::wstring::npos);
}

TEST_F(FormWindowTest, EventPumpProcessesWhatIsPendingAndReturns) {
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_USER + 7, 0, 0);
  ::PostMessageW(hwnd, WM_CLOSE, 0, 0);  // not in a run: closing is allowed
  window.DoEvents();
  MSG msg;
  EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_USER + 7, WM_USER + 7, PM_NOREMOVE));
  EXPECT_FALSE(::IsWindow(hwnd));
  // The quit message that closing posted was met by the pump; the loop does not wait for
  // another one.
  window.RunMessageLoop();
}

TEST_F(FormWindowTest, UnloadClosesTheWindowAndEndsTheMessageLoop) {
  window.Show();
  window.Unload();
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_EQ(window.Handle(), nullptr);
  window.RunMessageLoop();  // returns at once: the quit message is waiting
  window.Unload();          // a second unload is harmless
}

}  // namespace
