// kavro_child: a program whose every behaviour is known, for the tests of launching and for
// the example suite's uninstallers. Built twice from this source: as a GUI program
// (kavro_child.exe) and as a console program (kavro_child_console.exe). Its arguments are
// steps, done left to right:
//
//   sleep MS            wait MS milliseconds
//   window MS           show a window and process its messages for MS milliseconds, or until
//                       it is asked to close (WM_CLOSE)
//   hold PATH           open the file without delete sharing and keep it open to the end
//   record FILE         append this process's command line to FILE (UTF-8, one line)
//   self FILE           append the path of this program's own file to FILE
//   note FILE TEXT      append TEXT to FILE
//   startup FILE        append "flags=F show=S" from this process's start-up record to FILE
//   spawn MS FILE       start another copy, without waiting for it, that sleeps MS
//                       milliseconds and then appends "nieto" to FILE
//   hand-over STEPS...  start another copy that does the remaining steps, and end at once
//                       (as uninstallers that copy themselves to the temporary folder do)
//   exists PATH FILE    append "PATH sí" or "PATH no" to FILE
//   environment FILE    append "carpeta=<current folder> temp=<TEMP> tmp=<TMP> salida=sí|no" to
//                       FILE, the last saying whether a byte could be written to standard output
//   delete-key NAME     delete the installed-programs entry NAME (32-bit view)
//   delete-key64 NAME   the same in the 64-bit view
//   delete PATH         delete a file, or a folder with everything in it
//   write PATH TEXT     create or replace a file
//   box TEXT            ask TEXT in a message box and wait for its answer (where nobody can
//                       see it, for ever)
//   exit N              end with exit code N
//   exit-if PATH N      end with exit code N while PATH exists (another installation under way)
//   crash               end with an access violation
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

void Append(const std::wstring& path, const std::wstring& line) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::wstring text = line + L"\n";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(file);
}

void DeleteTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(path.c_str());
}

LRESULT CALLBACK ChildWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return ::DefWindowProcW(hwnd, message, wparam, lparam);  // WM_CLOSE destroys the window
}

void ShowWindowFor(DWORD ms) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ChildWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KavroChild";
  ::RegisterClassW(&wc);
  HWND hwnd = ::CreateWindowExW(0, L"KavroChild", L"kavro_child", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, wc.hInstance, nullptr);
  ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms && ::IsWindow(hwnd)) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

bool StartCopy(std::wstring arguments) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // Inheriting what it has, as many installers start their helpers.
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

int Run(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring step = argv[i];
    const bool hasArg = i + 1 < argc;
    if (step == L"sleep" && hasArg) {
      ::Sleep(static_cast<DWORD>(_wtoi(argv[++i])));
    } else if (step == L"window" && hasArg) {
      ShowWindowFor(static_cast<DWORD>(_wtoi(argv[++i])));
    } else if (step == L"record" && hasArg) {
      Append(argv[++i], ::GetCommandLineW());
    } else if (step == L"self" && hasArg) {
      wchar_t self[MAX_PATH];
      ::GetModuleFileNameW(nullptr, self, MAX_PATH);
      Append(argv[++i], self);
    } else if (step == L"note" && i + 2 < argc) {
      const std::wstring file = argv[++i];
      Append(file, argv[++i]);
    } else if (step == L"startup" && hasArg) {
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      ::GetStartupInfoW(&startup);
      Append(argv[++i], L"flags=" + std::to_wstring(startup.dwFlags) +
                            L" show=" + std::to_wstring(startup.wShowWindow));
    } else if (step == L"spawn" && i + 2 < argc) {
      const std::wstring ms = argv[++i];
      const std::wstring file = argv[++i];
      StartCopy(L"sleep " + ms + L" note \"" + file + L"\" nieto");
    } else if (step == L"hand-over") {
      std::wstring rest;
      for (++i; i < argc; ++i) {
        const std::wstring arg = argv[i];
        rest += (rest.empty() ? L"" : L" ") +
                (arg.empty() || arg.find(L' ') != std::wstring::npos ? L"\"" + arg + L"\"" : arg);
      }
      return StartCopy(rest) ? 0 : 1;
    } else if (step == L"exists" && i + 2 < argc) {
      const std::wstring path = argv[++i];
      Append(argv[++i], path + (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? L" sí" : L" no"));
    } else if (step == L"environment" && hasArg) {
      wchar_t folder[MAX_PATH] = {}, temp[MAX_PATH] = {}, tmp[MAX_PATH] = {};
      ::GetCurrentDirectoryW(MAX_PATH, folder);
      ::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
      ::GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
      DWORD written = 0;
      const bool output = ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), "x", 1, &written, nullptr);
      Append(argv[++i], std::wstring(L"carpeta=") + folder + L" temp=" + temp + L" tmp=" + tmp +
                            L" salida=" + (output ? L"sí" : L"no"));
    } else if ((step == L"delete-key" || step == L"delete-key64") && hasArg) {
      const wchar_t* name = argv[++i];
      HKEY uninstall = nullptr;
      const REGSAM view = step == L"delete-key64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                          KEY_ALL_ACCESS | view, &uninstall) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(uninstall, name);
        ::RegCloseKey(uninstall);
      }
    } else if (step == L"delete" && hasArg) {
      DeleteTree(argv[++i]);
    } else if (step == L"write" && i + 2 < argc) {
      const std::wstring file = argv[++i];
      ::DeleteFileW(file.c_str());
      Append(file, argv[++i]);
    } else if (step == L"hold" && hasArg) {
      ::CreateFileW(argv[++i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0,
                    nullptr);  // closed when the process ends
    } else if (step == L"box" && hasArg) {
      ::MessageBoxW(nullptr, argv[++i], L"kavro_child", MB_YESNO | MB_ICONQUESTION);
    } else if (step == L"exit" && hasArg) {
      return _wtoi(argv[++i]);
    } else if (step == L"exit-if" && i + 2 < argc) {
      const std::wstring path = argv[++i];
      const int code = _wtoi(argv[++i]);
      if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return code;
    } else if (step == L"crash") {
      *static_cast<volatile int*>(nullptr) = 1;
    }
  }
  return 0;
}

}  // namespace

#ifdef KAVRO_CHILD_CONSOLE
int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
#else
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  const int code = Run(argc, argv);
  ::LocalFree(argv);
  return code;
}
#endif
