#include "platform/win32/shell.h"

#include <shlobj.h>
#include <knownfolders.h>

#include "platform/win32/unique.h"
#include "platform/win32/wide.h"

namespace win32 {

std::optional<Text> Shell::DesktopFolder(platform::Desktop which) {
  UniqueCoTaskMem path;
  const KNOWNFOLDERID& folder =
      which == platform::Desktop::Public ? FOLDERID_PublicDesktop : FOLDERID_Desktop;
  // Without verification: asked with it, a desktop folder that does not exist (as for the
  // SYSTEM account) is a failure rather than a path where no shortcut can be.
  if (FAILED(::SHGetKnownFolderPath(folder, KF_FLAG_DONT_VERIFY, nullptr, path.put())) ||
      !path) {
    return std::nullopt;
  }
  Text text = ToText(path.get());
  while (!text.empty() && text.back() == u'\\') text.pop_back();
  return text;
}

}  // namespace win32
