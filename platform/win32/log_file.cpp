#include "platform/win32/log_file.h"

#include <cstdio>
#include <string>

#include "platform/win32/no_follow.h"
#include "platform/win32/wide.h"

namespace win32 {
namespace {

// Opens the file for appending only if it is a plain file with this one name; creates it
// when it does not exist, and then only as a new file, so that a link planted meanwhile (or
// a link that points nowhere) is never followed to create its target.
UniqueFile OpenPlainFile(const std::wstring& path, bool mustBeNew) {
  WIN32_FIND_DATAW entry;
  UniqueFind find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, 0));
  if (find) {
    if (mustBeNew ||
        (entry.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
      return {};
    }
  } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
    return {};
  }
  const bool exists = static_cast<bool>(find);
  const std::wstring name = exists ? std::wstring(entry.cFileName) : LeafOf(path);
  find.reset();

  UniqueFile folder(::CreateFileW(ParentOf(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder) return {};
  const auto open = [&path](DWORD disposition) {
    return UniqueFile(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  };
  UniqueFile file = open(exists ? OPEN_EXISTING : CREATE_NEW);
  if (!file && exists) file = open(CREATE_NEW);  // removed since it was looked at
  if (!file) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsEntryItself(file.get(), HandleName(folder.get()), name)) {
    return {};
  }
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

LogFile::LogFile(const Text& path) {
  const std::wstring wanted = WideString(path);
  file_ = OpenPlainFile(wanted, false);
  if (!file_) {
    // Someone else's file, or a link: a name of our own beside it, never theirs.
    const std::wstring leaf = LeafOf(wanted);
    const std::size_t dot = leaf.find_last_of(L'.');
    const std::wstring stem = wanted.substr(0, wanted.size() - leaf.size()) +
                              (dot == std::wstring::npos ? leaf : leaf.substr(0, dot));
    const std::wstring extension = dot == std::wstring::npos ? L"" : leaf.substr(dot);
    file_ = OpenPlainFile(stem + L"-" + std::to_wstring(::GetCurrentProcessId()) + extension, true);
  }
  LARGE_INTEGER size{};
  if (file_ && ::GetFileSizeEx(file_.get(), &size) && size.QuadPart == 0) Write(file_.get(), "\xEF\xBB\xBF");
}

void LogFile::Append(const Text& line) {
  if (!file_) return;
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  Write(file_.get(), stamp + Utf8(WideString(line)) + "\r\n");
}

Text DefaultLogPath() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  std::wstring folder = length && length <= MAX_PATH ? std::wstring(temp, length) : L"C:\\Windows\\Temp\\";
  if (folder.back() != L'\\') folder += L'\\';
  return ToText(folder + L"DesinstalaKavro1.log");
}

}  // namespace win32
