#include "platform/win32/shell.h"

#include <shlobj.h>
#include <knownfolders.h>

#include "platform/win32/unique.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace win32 {

Text Shell::DesktopFolder() {
  UniqueCoTaskMem path;
  const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, path.put());
  if (FAILED(result)) {
    Throw(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                     : static_cast<DWORD>(result));
  }
  Text folder = ToText(path.get());
  while (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  return folder;
}

}  // namespace win32
