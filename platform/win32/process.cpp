#include "platform/win32/process.h"

#include <string>

#include "platform/win32/unique.h"
#include "platform/win32/wide.h"

namespace win32 {
namespace {

class Process final : public platform::Process {
 public:
  Process(UniqueHandle process, UniqueHandle thread)
      : process_(std::move(process)), thread_(std::move(thread)) {}

  void WaitForInputIdle() override { ::WaitForInputIdle(process_.get(), INFINITE); }
  void CloseThread() override { thread_.reset(); }
  platform::WaitResult WaitForExitOrInput() override {
    HANDLE process = process_.get();
    // The process's state first: an ended process means no pump, even with input pending.
    // (Wine's X11 driver answers a combined wait with pending input before it looks at
    // the handles.)
    const DWORD state = ::WaitForSingleObject(process, 0);
    if (state == WAIT_OBJECT_0) return platform::WaitResult::Ended;
    if (state != WAIT_TIMEOUT) return platform::WaitResult::Failed;
    // MWMO_INPUTAVAILABLE also wakes for input that is already queued, not only for new
    // input.
    const DWORD result =
        ::MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result == WAIT_OBJECT_0) return platform::WaitResult::Ended;
    if (result == WAIT_OBJECT_0 + 1) return platform::WaitResult::InputAvailable;
    return platform::WaitResult::Failed;
  }
  void CloseProcess() override { process_.reset(); }

 private:
  UniqueHandle process_;
  UniqueHandle thread_;
};

}  // namespace

std::unique_ptr<platform::Process> Processes::Start(const Text& commandLine, std::uint8_t show) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show;
  PROCESS_INFORMATION info{};
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::wstring buffer = WideString(commandLine);
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info)) {
    return nullptr;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  return std::make_unique<Process>(std::move(process), std::move(thread));
}

}  // namespace win32
