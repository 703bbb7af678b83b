#include "platform/win32/unique.h"  // <windows.h> before the interface's DeleteFile
#include "platform/win32/files.h"

#include <winternl.h>

#include <string>
#include <vector>

#include "platform/win32/no_follow.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

// The program deletes with administrator rights in folders any user can write to, so nothing
// it deletes is ever reached through a link, at any level: every entry is opened relative to
// its folder's handle without following it, judged by its folder's listing and by its own
// handle, and deleted through that handle. A name is never looked up twice, so an entry
// swapped for a link after it was listed is removed as a link, never followed.

namespace win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kFileOpen = 1;                // FILE_OPEN
constexpr ULONG kSynchronousIo = 0x00000020;  // FILE_SYNCHRONOUS_IO_NONALERT
// ERROR_REPARSE_POINT_ENCOUNTERED, which MinGW's headers lack: a link that cannot be removed
// without following it.
constexpr DWORD kReparsePointEncountered = 4395;

// An absolute drive path in its extended-length form, so that a deep tree is not cut short
// by MAX_PATH.
std::wstring LongPath(const Text& path) {
  std::wstring wide = WideString(path);
  if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  return wide;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

// The entry `name` of the folder `parent` itself, never what it points to. (Wine follows
// links all the same; IsEntryItself tells.)
UniqueFile OpenEntry(HANDLE parent, const std::wstring& name, ACCESS_MASK access) {
  UNICODE_STRING objectName;
  objectName.Buffer = const_cast<wchar_t*>(name.c_str());
  objectName.Length = objectName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status =
      ::NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll, kFileOpen,
                     FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | kSynchronousIo, nullptr, 0);
  if (!NT_SUCCESS(status)) Throw(::RtlNtStatusToDosError(status));
  return UniqueFile(handle);
}

struct Entry {
  std::wstring name;
  DWORD attributes;
};

// The whole listing of a folder, through its handle, before anything in it is deleted.
std::vector<Entry> EntriesOf(HANDLE folder) {
  std::vector<Entry> entries;
  std::vector<ULONGLONG> buffer(8192);  // 64 KiB, aligned for the records
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG)))) {
      if (::GetLastError() == ERROR_NO_MORE_FILES) break;
      ThrowLastError();
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      const std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") entries.push_back({name, record->FileAttributes});
      if (!record->NextEntryOffset) break;
      bytes += record->NextEntryOffset;
    }
  }
  return entries;
}

// Deleted when the handle is closed. With force on, a read-only entry loses that flag first;
// with force off, removing it fails.
void MarkDeleted(HANDLE entry, bool force) {
  if (force) {
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
      basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
      ::SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
    }
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  ThrowLastErrorIf(!::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                                 sizeof disposition));
}

// Removes the entry `name` of the folder `parent` (named `parentName`): a file, or a folder
// with everything in it. A link, by its listing or by its own handle, is removed as a link;
// where the platform opened what it points to instead (Wine), nothing is removed and that is
// the error. Returns the files removed.
std::size_t RemoveEntry(HANDLE parent, const std::wstring& parentName, const Entry& listed, bool force) {
  const bool listedFolder = listed.attributes & FILE_ATTRIBUTE_DIRECTORY;
  UniqueFile entry = OpenEntry(parent, listed.name,
                               DELETE | FILE_READ_ATTRIBUTES | (force ? FILE_WRITE_ATTRIBUTES : 0) |
                                   (listedFolder ? FILE_LIST_DIRECTORY : 0));
  FILE_ATTRIBUTE_TAG_INFO tag{};
  ThrowLastErrorIf(!::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag));
  const bool holdsTheLink = tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
  if ((listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) || holdsTheLink ||
      !HasName(entry.get(), parentName, listed.name)) {
    if (!holdsTheLink) Throw(kReparsePointEncountered);
    MarkDeleted(entry.get(), force);
    return listedFolder ? 0 : 1;
  }
  std::size_t files = 0;
  if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    const std::wstring name = HandleName(entry.get());
    for (const Entry& child : EntriesOf(entry.get())) files += RemoveEntry(entry.get(), name, child, force);
  } else {
    files = 1;
  }
  MarkDeleted(entry.get(), force);
  return files;
}

// The entry at the path, removed through its folder's handle. The folder itself is opened by
// path: making sure that the folders above are no links is the caller's business.
std::size_t RemovePath(const Text& path, bool force) {
  const std::wstring full = LongPath(path);
  WIN32_FIND_DATAW found;
  UniqueFind find(::FindFirstFileExW(full.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, 0));
  if (!find) ThrowLastError();
  UniqueFile folder(::CreateFileW(ParentOf(full).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder) ThrowLastError();
  return RemoveEntry(folder.get(), HandleName(folder.get()), {found.cFileName, found.dwFileAttributes},
                     force);
}

}  // namespace

bool FileSystem::FileExists(const Text& path) {
  const DWORD attributes = Attributes(WideString(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void FileSystem::DeleteFile(const Text& path, bool force) {
  const DWORD attributes = Attributes(LongPath(path));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    Throw(ERROR_ACCESS_DENIED);  // a folder is no file, as DeleteFileW says
  }
  RemovePath(path, force);
}

bool FileSystem::FolderExists(const Text& path) {
  const DWORD attributes = Attributes(WideString(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::size_t FileSystem::DeleteFolder(const Text& path, bool force) {
  const DWORD attributes = Attributes(LongPath(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) Throw(ERROR_PATH_NOT_FOUND);
  return RemovePath(path, force);
}

bool FileSystem::IsLink(const Text& path) { return IsLinkAt(WideString(path)); }

}  // namespace win32
