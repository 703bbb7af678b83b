#include "platform/win32/unique.h"  // <windows.h> before the interface's DeleteFile
#include "platform/win32/run_temp.h"

#include <ntsecapi.h>

#include <algorithm>
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
                         FILE_SHARE_READ | FILE_SHARE_WRITE, kCreate, FILE_DIRECTORY_FILE, made,
                         descriptor.get());
  }
  if (error) {
    error_ = ErrorFromCode(error);
    return;
  }
  held_ = std::move(made);
  windows_ = ToText(windows, length);
  name_ = ToText(name);
  path_ = windows_ + u'\\' + name_;
}

namespace {

// Removes the folder `name` of the held Windows folder with everything in it, whatever its
// flags (nothing in it is anyone's but the uninstallers'). True when it is gone.
bool RemoveTemp(platform::Folder& windows, const Text& name) {
  try {
    const std::optional<platform::Removal> removed = windows.Remove({name, true, false, false}, true);
    return !removed || (removed->held.empty() && removed->tooDeep.empty() && !removed->stillThere);
  } catch (const platform::Error&) {
    return false;
  }
}

bool IsTempName(const Text& name) {
  const Text prefix = u"DesinstalaKavro1-";
  if (name.size() != prefix.size() + 16 || UpperCase(name.substr(0, prefix.size())) != UpperCase(prefix))
    return false;
  return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
  });
}

}  // namespace

bool RunTemp::Remove() {
  if (!path_) return true;
  held_.reset();
  FileSystem files;
  try {
    const platform::HeldFolder windows = files.HoldFolder(windows_);
    return windows.folder && RemoveTemp(*windows.folder, name_);
  } catch (const platform::Error&) {
    return false;
  }
}

EarlierTemps RemoveEarlierTemps() {
  EarlierTemps temps;
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (!length || length >= MAX_PATH) return temps;
  FileSystem files;
  try {
    const platform::HeldFolder held = files.HoldFolder(ToText(windows, length));
    if (!held.folder) return temps;
    for (const platform::Entry& entry : held.folder->Entries()) {
      // Only folders of our own naming: a link of that name is nobody's temporary folder.
      if (!entry.folder || entry.link || !IsTempName(entry.name)) continue;
      const Text path = ToText(windows, length) + u'\\' + entry.name;
      (RemoveTemp(*held.folder, entry.name) ? temps.removed : temps.left).push_back(path);
    }
  } catch (const platform::Error&) {
  }
  return temps;
}

}  // namespace win32
