#include "platform/win32/unique.h"  // <windows.h> before the interface's DeleteFile
#include "platform/win32/run_temp.h"

#include <ntsecapi.h>

#include <cwchar>

#include "platform/win32/files.h"
#include "platform/win32/no_follow.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace win32 {

RunTemp::RunTemp() {
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  unsigned char bytes[8] = {};
  if (!length || length >= MAX_PATH || !::RtlGenRandom(bytes, sizeof bytes)) {
    error_ = ErrorFromCode(length ? ERROR_INTERNAL_ERROR : ::GetLastError());
    return;
  }
  wchar_t name[40];
  std::swprintf(name, 40, L"DesinstalaKavro1-%02x%02x%02x%02x%02x%02x%02x%02x", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
  Walked folder;
  DWORD error = WalkToFolder(windows, folder);
  // SYSTEM and the administrators only: no user may even open what is in it (and so hold it,
  // or an oplock on it, against its removal).
  const UniqueDescriptor descriptor = DescriptorFrom(kSystemAndAdministratorsInherited);
  UniqueFile made;
  constexpr ULONG kCreate = 2;  // FILE_CREATE: a new folder, never one that is there
  if (!error && !descriptor) error = ERROR_INVALID_SECURITY_DESCR;
  if (!error) {
    error = OpenRelative(folder.folder.get(), name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kCreate,
                         FILE_DIRECTORY_FILE, made, descriptor.get());
  }
  if (error) {
    error_ = ErrorFromCode(error);
    return;
  }
  windows_ = ToText(windows, length);
  name_ = ToText(name);
  path_ = windows_ + u'\\' + name_;
}

bool RunTemp::Remove() {
  if (!path_) return true;
  try {
    FileSystem files;
    const platform::HeldFolder windows = files.HoldFolder(windows_);
    if (!windows.folder) return false;
    // What the uninstallers left is removed whatever its flags: nothing in it is anyone's.
    const std::optional<platform::Removal> removed =
        windows.folder->Remove({name_, true, false, false}, true);
    return !removed || (removed->held.empty() && removed->tooDeep.empty() && !removed->stillThere);
  } catch (const platform::Error&) {
    return false;
  }
}

}  // namespace win32
