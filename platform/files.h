#pragma once
// Files and folders: existence tests and deletions. Every deletion takes the force flag; with
// force off a read-only file is never removed and trying to is a failure. A deletion never
// follows a link: a link is removed itself, or not at all (a failure). Failures are
// platform::Error.
#include <cstddef>

#include "platform/text.h"

// <windows.h> makes DeleteFile a macro for DeleteFileW; the member below is this interface's
// own, so Win32 code includes <windows.h> before this header.
#ifdef DeleteFile
#undef DeleteFile
#endif

namespace platform {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool FileExists(const Text& path) = 0;
  virtual void DeleteFile(const Text& path, bool force) = 0;
  virtual bool FolderExists(const Text& path) = 0;
  // True when the path's own entry is a link (symbolic link, junction or other reparse
  // point), whatever it points to; false when nothing is there.
  virtual bool IsLink(const Text& path) = 0;
  // Removes the folder with every file and folder in it. A link inside it (symbolic link,
  // junction or other reparse point) is removed itself and never followed, so nothing
  // outside the folder is ever deleted through it. Returns the number of files removed.
  virtual std::size_t DeleteFolder(const Text& path, bool force) = 0;
};

}  // namespace platform
