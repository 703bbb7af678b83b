// Baseline for the processor-time benchmark: starts a command and waits for its end the way
// a wait without any pause does, alternating a zero-time poll with a pump of this thread's
// messages. Shows a window so that the pump has a queue to look at. With --job the command
// runs in a job object and the poll asks the job how many of its processes are still active,
// so the wait lasts as long as anything the command started.
//
//   kavro_poll_and_pump [--job] COMMAND...
#include <windows.h>

#include <string>

namespace {

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  const bool job = argc > 1 && std::wstring(argv[1]) == L"--job";
  if (job) ++first;
  std::wstring command;
  for (int i = first; i < argc; ++i) {
    if (!command.empty()) command += L' ';
    command += argv[i];
  }
  HWND window = ::CreateWindowExW(0, L"STATIC", L"poll and pump", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS | (job ? CREATE_SUSPENDED : 0), nullptr, nullptr,
                        &startup, &info)) {
    return 1;
  }
  HANDLE jobObject = job ? ::CreateJobObjectW(nullptr, nullptr) : nullptr;
  if (job) {
    ::AssignProcessToJobObject(jobObject, info.hProcess);
    ::ResumeThread(info.hThread);
  }
  ::WaitForInputIdle(info.hProcess, INFINITE);
  ::CloseHandle(info.hThread);
  if (job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    while (::QueryInformationJobObject(jobObject, JobObjectBasicAccountingInformation, &accounting,
                                       sizeof accounting, nullptr) &&
           accounting.ActiveProcesses > 0) {
      Pump();
    }
    ::CloseHandle(jobObject);
  } else {
    while (::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) Pump();
  }
  ::CloseHandle(info.hProcess);
  ::DestroyWindow(window);
  return 0;
}
