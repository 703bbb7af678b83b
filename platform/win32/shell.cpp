#include "platform/win32/shell.h"

#include <shlobj.h>
#include <knownfolders.h>

#include "platform/win32/unique.h"
#include "platform/win32/wide.h"

namespace win32 {

std::optional<Text> Shell::DesktopFolder() {
  UniqueCoTaskMem path;
  // Without verification: asked with it, a desktop folder that does not exist (as for the
  // SYSTEM account) is a failure rather than a path where no shortcut can be.
  if (FAILED(::SHGetKnownFolderPath(FOLDERID_Desktop, KF_FLAG_DONT_VERIFY, nullptr, path.put())) ||
      !path) {
    return std::nullopt;
  }
  Text folder = ToText(path.get());
  while (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  return folder;
}

}  // namespace win32
