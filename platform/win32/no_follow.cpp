#include "platform/win32/no_follow.h"

#include <vector>

namespace win32 {

std::wstring HandleName(HANDLE handle) {
  std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
  if (!::GetFileInformationByHandleEx(handle, FileNameInfo, info, static_cast<DWORD>(buffer.size())))
    return {};
  return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

bool IsEntryItself(HANDLE handle, const std::wstring& folderName, const std::wstring& name) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  std::wstring expected = folderName;
  if (expected.empty() || expected.back() != L'\\') expected += L'\\';
  expected += name;
  const std::wstring actual = HandleName(handle);
  return !actual.empty() &&
         ::CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  // "C:\x" has the parent "C:\", not "C:".
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

std::wstring LeafOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace win32
