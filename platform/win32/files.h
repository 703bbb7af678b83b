#pragma once
// Files and folders on Windows, with the Win32 and native file functions directly (no
// scripting components needed on the machine); deletions go through handles, never links.
#include <windows.h>

#include "platform/files.h"

namespace win32 {

class FileSystem final : public platform::FileSystem {
 public:
  bool FileExists(const Text& path) override;
  bool DeleteFile(const Text& path, bool force) override;
  bool FolderExists(const Text& path) override;
  bool IsLink(const Text& path) override;
  platform::HeldFolder HoldFolder(const Text& path) override;
  std::optional<platform::TakeOver> TakeOverFolder(const Text& path) override;
};

}  // namespace win32
