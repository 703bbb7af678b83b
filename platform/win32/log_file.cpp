#include "platform/win32/log_file.h"

#include <winternl.h>
#include <ntsecapi.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/no_follow.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"
#include "platform/log_layout.h"
#include "platform/watchdog.h"

namespace win32 {
namespace {

constexpr wchar_t kLogName[] = L"DesinstalaKavro1.log";
constexpr ULONG kOpen = 1;    // FILE_OPEN
constexpr ULONG kCreate = 2;  // FILE_CREATE: only a new file, never one that is there
constexpr ACCESS_MASK kAppend = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr ULONG kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The file `name` of the folder, to append to: an existing one only if it is a plain file
// with this one name that no account but those the program trusts owns or may change (a
// file another user could rewrite afterwards); a missing one created new, readable by others
// but writable only by SYSTEM and the administrators. Never through a link.
UniqueFile OpenPlainFile(const Walked& folder, const std::wstring& name, bool mustBeNew,
                         DWORD& why) {
  UniqueFile file;
  DWORD error = mustBeNew ? ERROR_FILE_NOT_FOUND
                          : OpenRelative(folder.folder.get(), name, kAppend, kShare, kOpen,
                                         FILE_NON_DIRECTORY_FILE, file);
  const bool made = error == ERROR_FILE_NOT_FOUND;
  if (made) {
    // Nobody but SYSTEM and the administrators may even read it: no ordinary user can hold
    // it open, or an oplock on it, against the next run.
    const UniqueDescriptor descriptor = DescriptorFrom(kSystemAndAdministrators);
    if (!descriptor) {  // never a log that inherits whatever its folder gives
      why = ERROR_INVALID_SECURITY_DESCR;
      return {};
    }
    error = OpenRelative(folder.folder.get(), name, kAppend, kShare, kCreate,
                         FILE_NON_DIRECTORY_FILE, file, descriptor.get());
  }
  BY_HANDLE_FILE_INFORMATION info{};
  why = error ? error : ERROR_ACCESS_DENIED;  // otherwise: a file of someone else's, or a link
  if (error || !::GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !IsEntryItself(file.get(), folder.folderName, name) ||
      (!made && OthersMayChange(file.get()))) {
    return {};
  }
  return file;
}

// A name nobody can guess beforehand: "DesinstalaKavro1-<random>.log"; empty without one.
std::wstring RandomName(const std::wstring& name) {
  unsigned char bytes[8] = {};
  if (!::RtlGenRandom(bytes, sizeof bytes)) return {};
  wchar_t digits[17];
  for (int i = 0; i < 8; ++i) std::swprintf(digits + 2 * i, 3, L"%02x", bytes[i]);
  const std::size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name + L"-" + digits
                                   : name.substr(0, dot) + L"-" + digits + name.substr(dot);
}

std::wstring WithBackslash(std::wstring folder) {
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  return folder;
}

// A log this long is kept as the previous one, under the layout's usual name for it
// (DesinstalaKavro1.lo_), replacing the one before, and a new one is started: the log of many
// runs stays a size that the agents' collectors and viewers take.
constexpr LONGLONG kRollOverBytes = 5 * 1024 * 1024;

void RollOver(const Walked& folder, UniqueFile& log, const std::wstring& name) {
  // Renamed through a handle of its own that may delete; the one kept for appending may not
  // (a second run, meanwhile, appends its one line beside ours).
  log.reset();
  UniqueFile file;
  if (OpenRelative(folder.folder.get(), name, DELETE | FILE_READ_ATTRIBUTES,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOpen,
                   FILE_NON_DIRECTORY_FILE, file) ||
      !IsEntryItself(file.get(), folder.folderName, name)) {
    return;
  }
  const std::wstring previous = name.substr(0, name.find_last_of(L'.')) + L".lo_";
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + previous.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = folder.folder.get();  // the same folder, walked to without links
  rename->FileNameLength = static_cast<DWORD>(previous.size() * sizeof(wchar_t));
  std::copy(previous.begin(), previous.end(), rename->FileName);
  // The native call: a name relative to RootDirectory (SetFileInformationByHandle would make a
  // full path of it, from the current folder, under Wine). A rename breaks a read-handle
  // oplock and waits for its holder: bounded, it is cancelled past a few seconds, and the log
  // goes on in the file it has.
  const UniqueHandle thread(::OpenThread(THREAD_TERMINATE, FALSE, ::GetCurrentThreadId()));
  platform::Watchdog watchdog(std::chrono::seconds(5),
                              [&thread](void*) { ::CancelSynchronousIo(thread.get()); });
  const platform::Watchdog::Step step(watchdog);
  IO_STATUS_BLOCK io{};
  ::NtSetInformationFile(file.get(), &io, rename, static_cast<ULONG>(buffer.size()),
                         FileRenameInformation);
}

// The log in the folder: the file of that name, or else (someone else's file, or a link) a
// fresh one of our own beside it, never theirs. Without either, `why` says why not.
UniqueFile OpenIn(const std::wstring& folderPath, const std::wstring& name,
                  PSECURITY_DESCRIPTOR create, Text& opened, DWORD& why) {
  // Short names (C:\Users\ADMINI~1\...) are written out, so each step can be checked by its name.
  std::wstring path = folderPath;
  wchar_t expanded[MAX_PATH * 2];
  const DWORD length = ::GetLongPathNameW(folderPath.c_str(), expanded, MAX_PATH * 2);
  if (length && length < MAX_PATH * 2) path.assign(expanded, length);
  Walked folder;
  if ((why = WalkToFolder(path, folder, create))) return {};
  UniqueFile file = OpenPlainFile(folder, name, false, why);
  LARGE_INTEGER size{};
  if (file && ::GetFileSizeEx(file.get(), &size) && size.QuadPart >= kRollOverBytes) {
    RollOver(folder, file, name);
    file = OpenPlainFile(folder, name, false, why);  // made afresh (or the old one, not renamed)
  }
  std::wstring used = name;
  for (int attempt = 0; !file && attempt < 8; ++attempt) {
    used = RandomName(name);
    if (used.empty()) break;
    file = OpenPlainFile(folder, used, true, why);
  }
  if (file) opened = ToText(WithBackslash(path) + used);
  return file;
}

void Write(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                          nullptr, nullptr);
  }
  return bytes;
}

}  // namespace

DWORD AdministratorsLogFolder(Walked& folder, std::wstring& path) {
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (!length || length >= MAX_PATH) return length ? ERROR_BUFFER_OVERFLOW : ::GetLastError();
  path = std::wstring(windows, length) + L"\\Logs\\Software";
  const UniqueDescriptor descriptor = AdministratorsOnly();
  if (!descriptor) return ERROR_INVALID_SECURITY_DESCR;
  if (const DWORD error = WalkToFolder(path, folder, descriptor.get())) return error;
  // As the log names its own file: each step written as it is on the disk.
  wchar_t onDisk[MAX_PATH * 2];
  const DWORD written = ::GetLongPathNameW(path.c_str(), onDisk, MAX_PATH * 2);
  if (written && written < MAX_PATH * 2) path.assign(onDisk, written);
  // A folder someone else may change (made by hand, say) could hold a file of theirs.
  return OthersMayChange(folder.folder.get()) ? ERROR_ACCESS_DENIED : 0;
}

DWORD MakeLog(const std::wstring& path) {
  Walked folder;
  if (const DWORD error = WalkToFolder(ParentOf(path), folder)) return error;
  DWORD why = 0;
  return OpenPlainFile(folder, LeafOf(path), false, why) ? 0 : why;
}

LogFile::LogFile(const std::optional<Text>& path) {
  DWORD why = 0;
  if (path) {
    wchar_t full[MAX_PATH * 2];
    const DWORD length = ::GetFullPathNameW(WideString(*path).c_str(), MAX_PATH * 2, full, nullptr);
    const std::wstring wanted =
        length && length < MAX_PATH * 2 ? std::wstring(full, length) : WideString(*path);
    const std::wstring leaf = LeafOf(wanted);
    file_ = OpenIn(ParentOf(wanted), leaf.empty() ? kLogName : leaf, nullptr, path_,
                   why);  // "/log C:\logs\"
    // A folder that is missing or is no folder, no rights, a drive this account has not: the
    // one record of the run goes to the default file instead, which says so first.
    if (!file_) refused_.emplace(ToText(wanted), ErrorFromCode(why));
  }
  if (!file_) {
    // Where deployment toolkits keep their logs, which only administrators may change; made
    // when missing. %TEMP% where that cannot be used (a run without administrator rights).
    wchar_t windows[MAX_PATH];
    const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length && length < MAX_PATH) {
      const UniqueDescriptor descriptor = AdministratorsOnly();
      file_ = OpenIn(WithBackslash(windows) + L"Logs\\Software", kLogName, descriptor.get(), path_,
                     why);
    }
    wchar_t temp[MAX_PATH + 1];
    const DWORD tempLength = ::GetTempPathW(MAX_PATH + 1, temp);
    if (!file_ && tempLength && tempLength <= MAX_PATH)
      file_ = OpenIn(std::wstring(temp, tempLength), kLogName, nullptr, path_, why);
  }
  LARGE_INTEGER size{};
  if (file_ && ::GetFileSizeEx(file_.get(), &size) && size.QuadPart == 0) Write(file_.get(), "\xEF\xBB\xBF");
}

void LogFile::Append(const Text& text, platform::Severity severity) {
  if (!file_) return;
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  TIME_ZONE_INFORMATION zone{};
  const DWORD kind = ::GetTimeZoneInformation(&zone);
  const LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                 : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                                 : 0);
  const LogStamp stamp{now.wYear,
                       now.wMonth,
                       now.wDay,
                       now.wHour,
                       now.wMinute,
                       now.wSecond,
                       now.wMilliseconds,
                       static_cast<int>(bias),
                       ::GetCurrentThreadId()};
  Write(file_.get(), Utf8(WideString(CmtraceEntry(text, severity, stamp))) + "\r\n");
}

}  // namespace win32
