#pragma once
// Starting a command line as a new process and waiting for it.
#include <cstdint>
#include <memory>

#include "platform/text.h"

namespace platform {

enum class WaitResult {
  Ended,           // the process has ended
  InputAvailable,  // the window has events to process; the process still runs
  Failed,          // the process's state can no longer be waited on
};

// A started process. It owns the process's handles; whatever is still open when it goes
// away is closed then.
class Process {
 public:
  virtual ~Process() = default;
  // Blocks until the process is ready for input; a process without a message queue (a
  // console program) makes this return at once.
  virtual void WaitForInputIdle() = 0;
  virtual void CloseThread() = 0;
  // Returns as soon as the process has ended or the window has input; costs no processor
  // time meanwhile. The process's state is looked at first.
  virtual WaitResult WaitForExitOrInput() = 0;
  virtual void CloseProcess() = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts the command line (program and arguments, no separate application name), with
  // the window-show code for its first window, the caller's environment and current folder,
  // inheritable handles inherited, at normal priority. Nothing when the platform refuses.
  virtual std::unique_ptr<Process> Start(const Text& commandLine, std::uint8_t show) = 0;
};

}  // namespace platform
