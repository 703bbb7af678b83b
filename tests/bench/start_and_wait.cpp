// Baseline of a run's fixed cost: starts each command line it is given, one after the other,
// and waits for each to end, with the fewest calls (CreateProcessW with the program named,
// WaitForSingleObject, the handles closed). Prints the milliseconds it took.
//
//   kavro_start_and_wait PROGRAM COMMAND-LINE [PROGRAM COMMAND-LINE ...]
#include <windows.h>

#include <string>

#include "timed.h"

int wmain(int argc, wchar_t** argv) {
  return bench::PrintMilliseconds([&] {
    for (int i = 1; i + 1 < argc; i += 2) {
      std::wstring commandLine = argv[i + 1];
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION process{};
      if (!::CreateProcessW(argv[i], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
        return 2;
      ::WaitForSingleObject(process.hProcess, INFINITE);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
    }
    return 0;
  });
}
