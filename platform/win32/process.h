#pragma once
// Processes on Windows: CreateProcessW, and a wait on the process handle together with the
// window's input, so the wait costs no processor time.
#include "platform/process.h"

namespace win32 {

class Processes final : public platform::Processes {
 public:
  std::unique_ptr<platform::Process> Start(const Text& commandLine, std::uint8_t show) override;
};

}  // namespace win32
