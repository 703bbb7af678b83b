// Baseline for the processor-time benchmark: starts a command and waits for its end the way
// a wait without any pause does, alternating a zero-time poll of the process with a pump of
// this thread's messages. Shows a window so that the pump has a queue to look at.
//
//   kavro_poll_and_pump COMMAND...
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  std::wstring command;
  for (int i = 1; i < argc; ++i) {
    if (!command.empty()) command += L' ';
    command += argv[i];
  }
  HWND window = ::CreateWindowExW(0, L"STATIC", L"poll and pump", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info)) {
    return 1;
  }
  ::WaitForInputIdle(info.hProcess, INFINITE);
  ::CloseHandle(info.hThread);
  while (::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  ::CloseHandle(info.hProcess);
  ::DestroyWindow(window);
  return 0;
}
