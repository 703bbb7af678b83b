#pragma once
// Processes on Windows: CreateProcessW, each started program in a job object of its own, and
// a wait on the job's processes together with the window's input, so that the wait lasts
// until the whole tree of processes has ended and costs no processor time meanwhile.
#include <chrono>
#include <optional>
#include <string>

#include "platform/process.h"

namespace win32 {

class Processes final : public platform::Processes {
 public:
  // descendantsBound: how long processes a program started are still waited for once the
  // program itself has ended (ten minutes; shorter only in tests). temp: the folder a started
  // program gets as TEMP and TMP (nothing: this program's own).
  explicit Processes(std::chrono::milliseconds descendantsBound = std::chrono::minutes(10),
                     const std::optional<Text>& temp = std::nullopt);
  std::unique_ptr<platform::Process> Start(const Text& program, const Text& commandLine,
                                           std::uint8_t show, bool administratorsOnly) override;
  bool IsFile(const Text& path) override;
  std::unique_ptr<platform::ProcessReach> ReachAllProcesses() override;
  std::vector<platform::RunningProgram> RunningFrom(const Text& folder) override;
  std::vector<platform::Closing> Close(const std::vector<platform::RunningProgram>& programs,
                                       std::chrono::milliseconds grace,
                                       const std::function<void()>& pump, bool told) override;
  std::uint32_t OwnSession() override;
  std::optional<platform::Error> Notify(std::uint32_t session, const Text& title, const Text& text,
                                        std::chrono::seconds timeout) override;
  platform::Connection ConnectionOf(std::uint32_t session) override;
  Text ExpandEnvironment(const Text& text) override;
  Text SystemFolder() override;
  bool SystemFolderRedirected() override;
  bool SixtyFourBitProgram() override;

 private:
  std::chrono::milliseconds descendantsBound_;
  std::wstring environment_;  // this program's environment with TEMP and TMP given, as a block
};

}  // namespace win32
