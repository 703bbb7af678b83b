#pragma once
// Reads and answers the message boxes that the code under test shows on this thread: a helper
// thread finds each new dialog of this process, records its title and text (static id 0xFFFF)
// and presses OK, so a modal box never blocks a test.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_win32 {

struct SeenBox {
  std::wstring title;
  std::wstring text;
  HWND owner;
};

class MessageBoxWatcher {
 public:
  MessageBoxWatcher() : thread_([this] { Run(); }) {}
  ~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<SeenBox> Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  static BOOL CALLBACK Visit(HWND hwnd, LPARAM param) {
    auto* self = reinterpret_cast<MessageBoxWatcher*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[32] = {};
    ::GetClassNameW(hwnd, cls, 32);
    if (pid == ::GetCurrentProcessId() && std::wstring(cls) == L"#32770" && ::IsWindowVisible(hwnd)) {
      self->Answer(hwnd);
    }
    return TRUE;
  }
  void Answer(HWND box) {
    for (HWND done : answered_)
      if (done == box) return;
    answered_.push_back(box);
    wchar_t title[512] = {}, text[4096] = {};
    ::GetWindowTextW(box, title, 512);
    ::GetDlgItemTextW(box, 0xFFFF, text, 4096);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back({title, text, ::GetWindow(box, GW_OWNER)});
    }
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
  }
  void Run() {
    while (!stop_) {
      ::EnumWindows(&Visit, reinterpret_cast<LPARAM>(this));
      ::Sleep(20);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<SeenBox> seen_;
  std::vector<HWND> answered_;
  std::thread thread_;
};

}  // namespace testing_win32
