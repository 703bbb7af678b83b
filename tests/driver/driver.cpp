// kavro_driver: starts a program under test, watches its windows and reports what it saw, one
// JSON object per line, to a UTF-8 file. It reads the main window (caption, styles, sizes,
// controls), every change of its list, and every message box, which it answers with OK, so a
// run goes unattended from start to end. It can also close the window or probe it while a
// row is selected (that is, while an uninstaller runs) and capture the window's picture.
//
//   kavro_driver --report FILE [--close] [--close-during-run] [--probe] [--snapshot FILE.bmp]
//                [--timeout SECONDS] -- PROGRAM [ARGS...]
//   kavro_driver --report FILE --measure-discovery -- PROGRAM [ARGS...]
//   kavro_driver --report FILE --output-to-nul -- PROGRAM [ARGS...]
//   kavro_driver --report FILE --output-to FILE [...] -- PROGRAM [ARGS...]
//   kavro_driver --report FILE --read-output [...] -- PROGRAM [ARGS...]
//   kavro_driver --report FILE --hidden-station [--timeout SECONDS] -- PROGRAM [ARGS...]
//
// --measure-discovery sends the program nothing: it times, from its window being shown, how
// long the program takes to show its first message box, then ends it. With no component
// registered that is the message that the suite is not installed; with a first component
// whose uninstaller does not exist, the message that it cannot be started. Either way it
// comes right after discovery.
//
// --output-to-nul gives the program NUL as its standard output and error, so that timing a
// console program does not time the console; --output-to, a file of the caller's.
//
// --read-output gives the program a pipe as its standard output and error and reads it to its
// end, as agents that collect a program's output do: "output" reports what was read and when
// the pipe closed (every process holding it had ended or closed it), or "output-open" when it
// was still open 30 s after the program's end. The program also inherits the writing end of a
// second pipe, which is none of its standard handles (as an agent's own handles may be):
// "extra" reports when that one closed, or "extra-open".
//
// --hidden-station starts the program in a window station of its own that no user sees, as
// a service or a deployment agent running as SYSTEM does: its windows and message boxes are
// out of the driver's reach (a box there waits forever), so the driver only waits for its
// end, or ends it when the time is up.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/unique.h"

namespace {

using win32::UniqueHandle;

struct Options {
  std::wstring report;
  std::wstring snapshot;
  bool close = false;
  bool closeDuringRun = false;
  bool probe = false;
  bool measureDiscovery = false;
  std::wstring output;  // the program's standard output and error, when given
  bool hiddenStation = false;
  bool readOutput = false;
  DWORD timeoutMs = 120000;
  std::wstring commandLine;
};

// ---- JSON lines ----

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"') out += "\\\"";
    else if (c == L'\\') out += "\\\\";
    else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out + "\"";
}

// The fields of one JSON object, appended one by one.
class Fields {
 public:
  Fields& Raw(const char* name, const std::string& json) {
    if (!text_.empty()) text_ += ',';
    text_ += '"';
    text_ += name;
    text_ += "\":";
    text_ += json;
    return *this;
  }
  Fields& Str(const char* name, const std::wstring& value) { return Raw(name, JsonString(value)); }
  Fields& Num(const char* name, long long value) { return Raw(name, std::to_string(value)); }
  Fields& Bool(const char* name, bool value) { return Raw(name, value ? "true" : "false"); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

std::string JsonArray(const std::vector<std::string>& items) {
  std::string out(1, '[');
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += ',';
    out += items[i];
  }
  out += ']';
  return out;
}

std::string RectJson(const RECT& r) {
  return JsonArray({std::to_string(r.left), std::to_string(r.top), std::to_string(r.right),
                    std::to_string(r.bottom)});
}

class Report {
 public:
  explicit Report(const std::wstring& path) : file_(_wfopen(path.c_str(), L"wb")) {}
  ~Report() {
    if (file_) std::fclose(file_);
  }
  bool ok() const { return file_ != nullptr; }
  void Write(const char* event, Fields fields = {}) {
    Fields line;
    line.Str("ev", std::wstring(event, event + std::char_traits<char>::length(event)))
        .Num("t", ::GetTickCount() - start_);
    std::string text(1, '{');
    text += line.text();
    if (!fields.text().empty()) {
      text += ',';
      text += fields.text();
    }
    text += "}\n";
    std::fputs(text.c_str(), file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_;
  DWORD start_ = ::GetTickCount();
};

// ---- reading another process's windows ----

constexpr UINT kReadTimeoutMs = 200;

bool Send(HWND hwnd, UINT msg, WPARAM w, LPARAM l, DWORD_PTR* result) {
  return ::SendMessageTimeoutW(hwnd, msg, w, l, SMTO_ABORTIFHUNG | SMTO_BLOCK, kReadTimeoutMs,
                               result) != 0;
}

// A window's text as the system keeps it, without a message to the program, which may be busy
// with its run and answer no message for a while (its window is shown before the run starts).
std::wstring WindowText(HWND hwnd) {
  std::wstring text(4096, L'\0');
  text.resize(static_cast<std::size_t>(
      ::InternalGetWindowText(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[128] = {};
  ::GetClassNameW(hwnd, name, 128);
  return name;
}

// Rows of a list box, or false when the owner is not answering right now.
bool ReadRows(HWND list, std::vector<std::wstring>* rows, int* selected) {
  DWORD_PTR count = 0;
  if (!Send(list, LB_GETCOUNT, 0, 0, &count)) return false;
  rows->clear();
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR length = 0;
    if (!Send(list, LB_GETTEXTLEN, i, 0, &length)) return false;
    std::wstring row(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!Send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row.data()), &copied)) return false;
    row.resize(copied);
    rows->push_back(row);
  }
  DWORD_PTR sel = 0;
  if (!Send(list, LB_GETCURSEL, 0, 0, &sel)) return false;
  *selected = static_cast<int>(static_cast<LRESULT>(sel));
  return true;
}

struct Found {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid == found->pid && ::IsWindowVisible(hwnd)) found->windows.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> VisibleTopLevel(DWORD pid) {
  Found found{pid, {}};
  ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

std::string ControlsJson(HWND parent) {
  std::vector<std::string> controls;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    Fields control;
    control.Str("class", ClassOf(child))
        .Num("id", ::GetDlgCtrlID(child))
        .Bool("visible", ::IsWindowVisible(child))
        .Num("style", ::GetWindowLongW(child, GWL_STYLE) & 0xFFFFFFFFu)
        .Raw("rect", RectJson(r))
        .Str("text", WindowText(child));
    std::string json(1, '{');
    json += control.text();
    json += '}';
    controls.push_back(json);
  }
  return JsonArray(controls);
}

void DescribeMainWindow(Report& report, HWND hwnd) {
  RECT client, frame;
  ::GetClientRect(hwnd, &client);
  ::GetWindowRect(hwnd, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
  const LONG exStyle = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
  // The window is seen as soon as it is visible; activation, which gives the focus, follows.
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  for (int i = 0; i < 100; ++i) {
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(hwnd, nullptr), &gui) && gui.hwndFocus) break;
    ::Sleep(10);
  }
  Fields fields;
  fields.Str("caption", WindowText(hwnd))
      .Str("class", ClassOf(hwnd))
      .Num("style", style & 0xFFFFFFFFu)
      .Num("exstyle", exStyle & 0xFFFFFFFFu)
      .Raw("client", RectJson(client))
      .Raw("frame", RectJson(frame))
      .Raw("monitor", RectJson(monitor.rcMonitor))
      .Bool("owned", ::GetWindow(hwnd, GW_OWNER) != nullptr)
      .Num("focusId", gui.hwndFocus ? ::GetDlgCtrlID(gui.hwndFocus) : -1)
      .Raw("controls", ControlsJson(hwnd));
  report.Write("window", fields);
}

void DescribeMessageBox(Report& report, HWND box, HWND mainWindow) {
  std::vector<std::string> buttons;
  bool icon = false;
  std::wstring text;
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring cls = ClassOf(child);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(cls.c_str(), L"Button") == 0 && ::IsWindowVisible(child)) {
      buttons.push_back(JsonString(WindowText(child)));
    } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
               ::IsWindowVisible(child)) {
      icon = true;
    }
    if (::GetDlgCtrlID(child) == 0xFFFF) text = WindowText(child);
  }
  HWND owner = ::GetWindow(box, GW_OWNER);
  Fields fields;
  fields.Str("title", WindowText(box))
      .Str("text", text)
      .Raw("buttons", JsonArray(buttons))
      .Bool("icon", icon)
      .Bool("ownedByMain", owner != nullptr && owner == mainWindow);
  report.Write("message", fields);
}

void PressOk(HWND box) {
  HWND ok = ::GetDlgItem(box, IDOK);
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
}

// Captures the window as it is on the screen into a 24-bit BMP file.
bool Snapshot(HWND hwnd, const std::wstring& path) {
  RECT r;
  if (!::GetWindowRect(hwnd, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  const BOOL copied = ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::GdiFlush();
  bool written = false;
  if (copied && bits) {
    const DWORD stride = ((w * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * h;
    if (std::FILE* f = _wfopen(path.c_str(), L"wb")) {
      std::fwrite(&file, sizeof file, 1, f);
      std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f);
      std::fwrite(bits, stride, h, f);
      written = std::fclose(f) == 0;
    }
  }
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return written;
}

double Milliseconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

bool HasMessageBox(DWORD pid) {
  for (HWND hwnd : VisibleTopLevel(pid))
    if (ClassOf(hwnd) == L"#32770") return true;
  return false;
}

bool HasMainWindow(DWORD pid) {
  for (HWND hwnd : VisibleTopLevel(pid))
    if (ClassOf(hwnd) == L"DesinstalaKavroForm1") return true;
  return false;
}

// Discovery's length, seen from outside and without disturbing the program.
void MeasureDiscovery(Report& report, HANDLE process, DWORD pid, DWORD timeoutMs) {
  const double start = Milliseconds();
  double shown = 0;
  while (::WaitForSingleObject(process, 1) == WAIT_TIMEOUT && Milliseconds() - start < timeoutMs) {
    if (!shown) {
      if (HasMainWindow(pid)) shown = Milliseconds();
      continue;
    }
    if (HasMessageBox(pid)) {
      report.Write("discovery",
                   Fields().Num("us", static_cast<long long>((Milliseconds() - shown) * 1000)));
      break;
    }
  }
  ::TerminateProcess(process, 98);
  ::WaitForSingleObject(process, 5000);
}

// What the driver last saw of the program's list.
struct ListState {
  std::vector<std::wstring> rows;
  int selected = -2;
  bool rowsSeen = false;
  DWORD selectedSince = 0;
};

// Reads the list, and reports its rows and its selection when they change.
void ReadList(Report& report, HWND mainWindow, ListState* state) {
  if (!mainWindow || !::IsWindow(mainWindow)) return;
  HWND list = ::GetDlgItem(mainWindow, 102);
  std::vector<std::wstring> rows;
  int selected = -1;
  if (!list || !ReadRows(list, &rows, &selected)) return;
  if (!state->rowsSeen || rows != state->rows) {
    std::vector<std::string> items;
    for (const auto& row : rows) items.push_back(JsonString(row));
    report.Write("rows", Fields().Raw("rows", JsonArray(items)));
    state->rows = rows;
    state->rowsSeen = true;
  }
  if (selected != state->selected) {
    report.Write("selected", Fields().Num("index", selected));
    state->selected = selected;
    state->selectedSince = ::GetTickCount();
  }
}

// The program's output, read to its end on a thread of its own.
struct Output {
  HANDLE pipe;
  std::string read;
  double closedAt = 0;
};

DWORD WINAPI ReadOutput(void* param) {
  auto* out = static_cast<Output*>(param);
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(out->pipe, buffer, sizeof buffer, &got, nullptr) && got)
    out->read.append(buffer, got);
  out->closedAt = Milliseconds();
  return 0;
}

bool ParseArgs(int argc, wchar_t** argv, Options* options) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--") { ++i; break; }
    if (arg == L"--report" && i + 1 < argc) options->report = argv[++i];
    else if (arg == L"--snapshot" && i + 1 < argc) options->snapshot = argv[++i];
    else if (arg == L"--timeout" && i + 1 < argc) options->timeoutMs = static_cast<DWORD>(_wtoi(argv[++i])) * 1000;
    else if (arg == L"--close") options->close = true;
    else if (arg == L"--close-during-run") options->closeDuringRun = true;
    else if (arg == L"--probe") options->probe = true;
    else if (arg == L"--measure-discovery") options->measureDiscovery = true;
    else if (arg == L"--output-to-nul")
      options->output = L"NUL";
    else if (arg == L"--output-to" && i + 1 < argc)
      options->output = argv[++i];
    else if (arg == L"--hidden-station") options->hiddenStation = true;
    else if (arg == L"--read-output") options->readOutput = true;
    else return false;
  }
  if (i >= argc || options->report.empty()) return false;
  for (; i < argc; ++i) {
    if (!options->commandLine.empty()) options->commandLine += L' ';
    const std::wstring arg = argv[i];
    options->commandLine += arg.find(L' ') == std::wstring::npos ? arg : L"\"" + arg + L"\"";
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseArgs(argc, argv, &options)) {
    std::fputs("usage: kavro_driver --report FILE [options] -- PROGRAM [ARGS...]\n", stderr);
    return 100;
  }
  Report report(options.report);
  if (!report.ok()) return 101;

  // The prefix's desktop process is started by whichever process first needs a desktop, and
  // takes that process's standard error for good: started here, before any pipe of ours
  // exists, it holds none of them (started by the program, it would keep its output open).
  ::GetDesktopWindow();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring commandLine = options.commandLine;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  win32::UniqueFile nul;
  if (!options.output.empty()) {
    nul.reset(::CreateFileW(options.output.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                            options.output == L"NUL" ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr));
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nul.get();
  }
  // The read ends stay ours; the write ends are the program's, closed here once it has started.
  win32::UniqueHandle outputRead, outputWrite, extraRead, extraWrite;
  const auto pipe = [&](win32::UniqueHandle& read, win32::UniqueHandle& write) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return false;
    read.reset(readEnd);
    write.reset(writeEnd);
    return ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0) != 0;
  };
  if (options.readOutput && pipe(outputRead, outputWrite) && pipe(extraRead, extraWrite)) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = outputWrite.get();
  }
  // The station's name is the one Windows gives the SYSTEM account's services.
  struct Station {
    HWINSTA station = nullptr;
    HDESK desktop = nullptr;
    ~Station() {
      if (desktop) ::CloseDesktop(desktop);
      if (station) ::CloseWindowStation(station);
    }
  } hidden;
  wchar_t hiddenDesktop[] = L"Service-0x0-3e7$\\Default";
  if (options.hiddenStation) {
    hidden.station = ::CreateWindowStationW(L"Service-0x0-3e7$", 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA own = ::GetProcessWindowStation();
    if (hidden.station && ::SetProcessWindowStation(hidden.station)) {
      hidden.desktop = ::CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
      ::SetProcessWindowStation(own);
    }
    if (!hidden.desktop) {
      report.Write("launch-failed", Fields().Num("error", ::GetLastError()));
      return 103;
    }
    startup.lpDesktop = hiddenDesktop;
  }
  const double launched = Milliseconds();
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr,
                        !options.output.empty() || options.readOutput, 0, nullptr, nullptr,
                        &startup, &info)) {
    report.Write("launch-failed", Fields().Num("error", ::GetLastError()));
    return 102;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  report.Write("started", Fields().Num("pid", info.dwProcessId));
  outputWrite.reset();
  extraWrite.reset();
  Output output{}, extra{};
  output.pipe = outputRead.get();
  extra.pipe = extraRead.get();
  UniqueHandle reader, extraReader;
  if (outputRead) reader.reset(::CreateThread(nullptr, 0, &ReadOutput, &output, 0, nullptr));
  if (extraRead) extraReader.reset(::CreateThread(nullptr, 0, &ReadOutput, &extra, 0, nullptr));

  if (options.measureDiscovery) {
    MeasureDiscovery(report, process.get(), info.dwProcessId, options.timeoutMs);
    return 0;
  }

  HWND mainWindow = nullptr;
  bool anyShown = false;
  std::set<HWND> answered;
  ListState state;
  bool closeSent = false, snapshotTaken = false;
  DWORD lastProbe = 0, lastClose = 0;
  const DWORD start = ::GetTickCount();

  while (::WaitForSingleObject(process.get(), anyShown ? 20 : 2) == WAIT_TIMEOUT) {
    if (::GetTickCount() - start > options.timeoutMs) {
      report.Write("timeout");
      ::TerminateProcess(process.get(), 99);
      ::WaitForSingleObject(process.get(), 5000);
      break;
    }
    const std::vector<HWND> visible = VisibleTopLevel(info.dwProcessId);
    if (!anyShown && !visible.empty()) {
      // From the launch to the first window on the screen, whatever the program.
      anyShown = true;
      report.Write("shown", Fields().Num("us", static_cast<long long>((Milliseconds() - launched) * 1000)));
    }
    if (!mainWindow) {
      for (HWND hwnd : visible) {
        if (ClassOf(hwnd) == L"DesinstalaKavroForm1") {
          mainWindow = hwnd;
          DescribeMainWindow(report, hwnd);
        }
      }
    }
    // The list is read before any message box is answered: while a box is up the program
    // processes events, so the list can be read; once answered, the run may end at once.
    ReadList(report, mainWindow, &state);
    for (HWND hwnd : visible) {
      if (ClassOf(hwnd) == L"#32770" && answered.insert(hwnd).second) {
        DescribeMessageBox(report, hwnd, mainWindow);
        PressOk(hwnd);
      }
    }
    if (!mainWindow || !::IsWindow(mainWindow)) continue;
    const bool running = state.selected >= 0;
    // Asked to close, the driver keeps asking: a close that comes while the run is under way
    // is refused by the window.
    if (options.close && state.rowsSeen && ::GetTickCount() - lastClose >= 500) {
      ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
      report.Write("close-sent");
      lastClose = ::GetTickCount();
    }
    if (options.closeDuringRun && running && !closeSent) {
      ::PostMessageW(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
      ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
      report.Write("close-sent", Fields().Num("row", state.selected));
      closeSent = true;
    }
    if (options.probe && running && ::GetTickCount() - lastProbe >= 200) {
      DWORD_PTR result = 0;
      const DWORD before = ::GetTickCount();
      const bool answeredProbe = ::SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 5000,
                                                       &result) != 0;
      report.Write("probe", Fields()
                                .Num("ms", ::GetTickCount() - before)
                                .Bool("answered", answeredProbe)
                                .Num("row", state.selected));
      lastProbe = ::GetTickCount();
    }
    if (!options.snapshot.empty() && running && !snapshotTaken &&
        ::GetTickCount() - state.selectedSince >= 400) {
      ::RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
      ::Sleep(150);
      snapshotTaken = Snapshot(mainWindow, options.snapshot);
      report.Write("snapshot", Fields().Bool("written", snapshotTaken));
    }
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  const double ended = Milliseconds();
  report.Write("exit", Fields().Num("code", code).Num(
                           "us", static_cast<long long>((ended - launched) * 1000)));
  if (reader) {
    if (::WaitForSingleObject(reader.get(), 30000) == WAIT_OBJECT_0) {
      std::wstring text(output.read.size(), L'\0');
      text.resize(static_cast<std::size_t>(::MultiByteToWideChar(
          CP_UTF8, 0, output.read.data(), static_cast<int>(output.read.size()), text.data(),
          static_cast<int>(text.size()))));
      report.Write("output", Fields().Str("text", text).Num(
                                 "closedAfterExitMs", static_cast<long long>(output.closedAt - ended)));
    } else {
      report.Write("output-open");
    }
  }
  // By now 30 s have passed since the program's end, or the first pipe closed earlier.
  if (extraReader) {
    if (::WaitForSingleObject(extraReader.get(), 30000) == WAIT_OBJECT_0) {
      report.Write("extra", Fields().Num("closedAfterExitMs",
                                         static_cast<long long>(extra.closedAt - ended)));
    } else {
      report.Write("extra-open");
    }
  }
  return 0;
}
