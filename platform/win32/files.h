#pragma once
// Files and folders on Windows, with the Win32 and native file functions directly (no
// scripting components needed on the machine); deletions go through handles, never links.
#include <windows.h>

#include <memory>

#include "platform/files.h"
#include "platform/watchdog.h"
#include "platform/win32/unique.h"

namespace win32 {

class FileSystem final : public platform::FileSystem {
 public:
  bool FileExists(const Text& path) override;
  bool DeleteFile(const Text& path, bool force) override;
  bool FolderExists(const Text& path) override;
  bool IsLink(const Text& path) override;
  platform::HeldFolder HoldFolder(const Text& path) override;
  std::optional<platform::TakeOver> TakeOverFolder(const Text& path,
                                                   const platform::TakeOverAsked& asked) override;
  bool RemoveIfEmpty(const Text& path) override;
  std::optional<platform::Error> MakeLogFile(const Text& path) override;

 private:
  // Bounds every deletion's wait on another program (platform/watchdog.h); made on first use.
  platform::Watchdog& Watched();
  std::shared_ptr<platform::Watchdog> watchdog_;
  // The folder a take-over holds (or made to hold its name) until RemoveIfEmpty or the end.
  UniqueFile held_;
};

}  // namespace win32
