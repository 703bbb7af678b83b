#include "platform/win32/unique.h"  // <windows.h> before the interface's DeleteFile
#include "platform/win32/files.h"

#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace win32 {
namespace {

// An absolute drive path in its extended-length form, so that a deep tree is not cut short
// by MAX_PATH.
std::wstring LongPath(const Text& path) {
  std::wstring wide = WideString(path);
  if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  return wide;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

// With force on, a read-only file or folder loses that flag so that it can be removed; with
// force off it stays, and removing it fails.
void ClearReadOnlyIfForced(const std::wstring& path, bool force) {
  if (!force) return;
  const DWORD attributes = Attributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

void RemoveFile(const std::wstring& path, bool force) {
  ClearReadOnlyIfForced(path, force);
  ThrowLastErrorIf(!::DeleteFileW(path.c_str()));
}

void RemoveEmptyFolder(const std::wstring& path, bool force) {
  ClearReadOnlyIfForced(path, force);
  ThrowLastErrorIf(!::RemoveDirectoryW(path.c_str()));
}

struct Entry {
  std::wstring name;
  DWORD attributes;
};

std::vector<Entry> EntriesOf(const std::wstring& folder) {
  std::vector<Entry> entries;
  WIN32_FIND_DATAW found;
  UniqueFind find(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0));
  if (!find) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return entries;
    Throw(error);
  }
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") entries.push_back({name, found.dwFileAttributes});
  } while (::FindNextFileW(find.get(), &found));
  const DWORD error = ::GetLastError();
  if (error != ERROR_NO_MORE_FILES) Throw(error);
  return entries;
}

// Deletes what the folder holds, then the folder. A link is removed as a link and never
// followed, so nothing outside the folder is reached through it. Returns the files removed.
std::size_t DeleteTree(const std::wstring& folder, bool force) {
  std::size_t files = 0;
  for (const Entry& entry : EntriesOf(folder)) {
    const std::wstring path = folder + L"\\" + entry.name;
    const bool isFolder = entry.attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (isFolder) {
        RemoveEmptyFolder(path, force);
      } else {
        RemoveFile(path, force);
        ++files;
      }
    } else if (isFolder) {
      files += DeleteTree(path, force);
    } else {
      RemoveFile(path, force);
      ++files;
    }
  }
  RemoveEmptyFolder(folder, force);
  return files;
}

}  // namespace

bool FileSystem::FileExists(const Text& path) {
  const DWORD attributes = Attributes(WideString(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void FileSystem::DeleteFile(const Text& path, bool force) { RemoveFile(LongPath(path), force); }

bool FileSystem::FolderExists(const Text& path) {
  const DWORD attributes = Attributes(WideString(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::size_t FileSystem::DeleteFolder(const Text& path, bool force) {
  const std::wstring folder = LongPath(path);
  const DWORD attributes = Attributes(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) Throw(ERROR_PATH_NOT_FOUND);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    RemoveEmptyFolder(folder, force);  // the folder itself is a link: only the link goes
    return 0;
  }
  return DeleteTree(folder, force);
}

}  // namespace win32
