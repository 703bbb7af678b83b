#include "platform/win32/run_mark.h"

#include <string>

#include "platform/win32/no_follow.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace win32 {
namespace {

constexpr ULONG kOpenIf = 3;  // FILE_OPEN_IF

}  // namespace

RunMark::RunMark() {
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (!length || length >= MAX_PATH) {
    error_ = ErrorFromCode(::GetLastError());
    return;
  }
  const std::wstring folder = std::wstring(windows, length) + L"\\Logs\\Software";
  path_ = ToText(folder + L"\\DesinstalaKavro1.lock");
  const UniqueDescriptor descriptor = AdministratorsOnly();
  Walked walked;
  DWORD error = descriptor ? WalkToFolder(folder, walked, descriptor.get()) : ERROR_INVALID_SECURITY_DESCR;
  // A folder someone else may change (made by hand, say) could hold a lock of theirs.
  if (!error && OthersMayChange(walked.folder.get())) error = ERROR_ACCESS_DENIED;
  // The file stays between runs (deleted on closing, any handle left on it, even one that
  // only reads its attributes, would keep it "delete pending" for every later run), and only
  // SYSTEM and the administrators may open it for anything that shares with nobody.
  const UniqueDescriptor lockDescriptor = DescriptorFrom(kSystemAndAdministrators);
  if (!error && !lockDescriptor) error = ERROR_INVALID_SECURITY_DESCR;
  if (!error) {
    error = OpenRelative(walked.folder.get(), L"DesinstalaKavro1.lock",
                         FILE_READ_DATA | FILE_READ_ATTRIBUTES, 0, kOpenIf,
                         FILE_NON_DIRECTORY_FILE, lock_, lockDescriptor.get());
    if (!error && !IsEntryItself(lock_.get(), walked.folderName, L"DesinstalaKavro1.lock")) {
      lock_.reset();
      error = kReparsePointEncountered;
    }
  }
  if (error == ERROR_SHARING_VIOLATION) {
    found_ = Found::AnotherRun;
  } else if (error) {
    error_ = ErrorFromCode(error);
  } else {
    found_ = Found::Nothing;
  }
}

}  // namespace win32
