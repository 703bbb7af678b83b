#include "platform/win32/no_follow.h"

#include <vector>

#include "platform/win32/win_error.h"

namespace win32 {

std::wstring HandleName(HANDLE handle) {
  // Most names fit the first buffer; the longest a path can be, the second.
  for (const std::size_t characters : {std::size_t{512}, std::size_t{32768}}) {
    std::vector<DWORD> buffer((sizeof(FILE_NAME_INFO) + characters * sizeof(wchar_t)) / sizeof(DWORD) + 1);
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (::GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                       static_cast<DWORD>(buffer.size() * sizeof(DWORD)))) {
      return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
    }
    if (::GetLastError() != ERROR_MORE_DATA) break;
  }
  return {};
}

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsEntryItself(HANDLE handle, const std::wstring& folderName, const std::wstring& name) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
         !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && HasName(handle, folderName, name);
}

bool HasName(HANDLE handle, const std::wstring& folderName, const std::wstring& name) {
  const std::wstring actual = HandleName(handle);
  if (actual.empty() || folderName.empty()) return true;
  std::wstring expected = folderName;
  if (expected.back() != L'\\') expected += L'\\';
  return SameName(actual, expected + name);
}

bool IsLinkAt(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  UniqueFind find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, 0));
  if (!find) return false;
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  UniqueFile handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) ThrowLastError();
  FILE_ATTRIBUTE_TAG_INFO tag{};
  ThrowLastErrorIf(!::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof tag));
  // Only this entry's own name is compared: the folders above are taken as opened by path.
  const std::wstring name = HandleName(handle.get());
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
         (!name.empty() && !SameName(LeafOf(name), entry.cFileName));
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  if (slash == 0) return path.substr(0, 1);  // "\x", a handle's name at the volume's root
  // "C:\x" has the parent "C:\", not "C:".
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

std::wstring LeafOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace win32
