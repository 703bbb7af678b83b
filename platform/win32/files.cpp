#include "platform/win32/unique.h"  // <windows.h> before the interface's DeleteFile
#include "platform/win32/files.h"

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
constexpr ULONG kFileOpen = 1;  // FILE_OPEN

// An absolute drive path in its extended-length form, so that a deep tree is not cut short
// by MAX_PATH.
std::wstring LongPath(const Text& path) {
  std::wstring wide = WideString(path);
  if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  return wide;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

// The whole listing of a folder, through its handle, before anything in it is deleted.
std::vector<platform::Entry> EntriesOf(HANDLE folder) {
  std::vector<platform::Entry> entries;
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
      const DWORD attributes = record->FileAttributes;
      if (name != L"." && name != L"..") {
        // A reparse point's tag is where the extended attributes' size would be.
        entries.push_back({ToText(name), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           IsLinkTag(attributes, record->EaSize),
                           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0});
      }
      if (!record->NextEntryOffset) break;
      bytes += record->NextEntryOffset;
    }
  }
  return entries;
}

// Marked deleted. With force on, a read-only entry loses that flag first; with force off,
// removing it fails. Windows 10 and later delete at once, as POSIX does: with the classic
// disposition a file that an antivirus or indexer holds open (with delete sharing) stays
// "delete pending" until it lets go, and its folder cannot be removed meanwhile. Where the
// platform refuses that (older Windows, FAT, Wine), the classic disposition, from then on in
// that tree (`posixRefused`).
void MarkDeleted(HANDLE entry, bool force, bool& posixRefused) {
  if (force) {
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
      basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
      ::SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
    }
  }
  if (!posixRefused) {
    constexpr auto kDispositionInfoEx =
        static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);  // FileDispositionInfoEx
    FILE_DISPOSITION_INFO_EX disposition{FILE_DISPOSITION_FLAG_DELETE |
                                         FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
    if (::SetFileInformationByHandle(entry, kDispositionInfoEx, &disposition, sizeof disposition))
      return;
    const DWORD error = ::GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_INVALID_FUNCTION)
      Throw(error);
    posixRefused = true;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  ThrowLastErrorIf(!::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                                 sizeof disposition));
}

// Another program has the entry open without delete sharing, or locked: it is not ours to take.
bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Removes the entry of the folder `parent` (named `parentName`, at `parentPath`) as listed: a
// file, or a folder with everything in it. A link, by its listing or by its own handle, is
// removed as a link; where the platform opened what it points to instead (Wine), nothing is
// removed and that is the error. What another program holds stays, with the folders above it.
// Nothing when the entry is gone.
std::optional<platform::Removal> RemoveEntry(HANDLE parent, const std::wstring& parentName,
                                             const Text& parentPath, const platform::Entry& listed,
                                             bool force, bool& posixRefused) {
  const std::wstring name = WideString(listed.name);
  const Text path = parentPath + u'\\' + listed.name;
  UniqueFile entry;
  const DWORD error =
      OpenRelative(parent, name,
                   DELETE | FILE_READ_ATTRIBUTES | (force ? FILE_WRITE_ATTRIBUTES : 0) |
                       (listed.folder ? FILE_LIST_DIRECTORY : 0),
                   kShareAll, kFileOpen, 0, entry);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
  if (HeldByAnother(error)) return platform::Removal{0, {path}};
  if (error) Throw(error);
  if (!listed.folder && !listed.link) {
    // A plain file by its listing: opened as itself on Windows whatever it became since, and
    // removed so; Wine follows a link to a file all the same and shows it in the handle's own
    // name only. (Nothing more is asked of a file: most of the tree is files.)
    if (!HasName(entry.get(), parentName, name)) Throw(kReparsePointEncountered);
    MarkDeleted(entry.get(), force, posixRefused);
    return platform::Removal{1, {}};
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  ThrowLastErrorIf(!::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag));
  const bool holdsTheLink = IsLinkTag(tag.FileAttributes, tag.ReparseTag);
  if (listed.link || holdsTheLink || !HasName(entry.get(), parentName, name)) {
    if (!holdsTheLink) Throw(kReparsePointEncountered);
    MarkDeleted(entry.get(), force, posixRefused);
    return platform::Removal{listed.folder ? 0u : 1u, {}};
  }
  platform::Removal removal;
  if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    const std::wstring entryName = HandleName(entry.get());
    for (const platform::Entry& child : EntriesOf(entry.get())) {
      if (std::optional<platform::Removal> inside =
              RemoveEntry(entry.get(), entryName, path, child, force, posixRefused)) {
        removal.files += inside->files;
        removal.held.insert(removal.held.end(), inside->held.begin(), inside->held.end());
      }
    }
    if (!removal.held.empty()) return removal;  // the folder stays, with what is held in it
  } else {
    removal.files = 1;
  }
  MarkDeleted(entry.get(), force, posixRefused);
  return removal;
}

// The files RemoveEntry would remove, walked the same way but only read; what cannot be read is
// not counted.
std::size_t CountEntry(HANDLE parent, const std::wstring& parentName,
                       const platform::Entry& listed) {
  if (listed.link) return listed.folder ? 0 : 1;
  if (!listed.folder) return 1;
  const std::wstring name = WideString(listed.name);
  UniqueFile entry;
  if (OpenRelative(parent, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareAll, kFileOpen,
                   FILE_DIRECTORY_FILE, entry) ||
      !IsEntryItself(entry.get(), parentName, name)) {
    return 0;
  }
  const std::wstring entryName = HandleName(entry.get());
  std::size_t files = 0;
  for (const platform::Entry& child : EntriesOf(entry.get()))
    files += CountEntry(entry.get(), entryName, child);
  return files;
}

// A folder opened without following links and without delete sharing: nobody can rename or
// delete it, or put a link in its place, while it is open.
class HeldFolder final : public platform::Folder {
 public:
  HeldFolder(Text path, UniqueFile handle, std::wstring name) :
      path_(std::move(path)), handle_(std::move(handle)), name_(std::move(name)) {}
  Text Path() const override { return path_; }
  std::vector<platform::Entry> Entries() override { return EntriesOf(handle_.get()); }
  std::optional<platform::Removal> Remove(const platform::Entry& entry, bool force) override {
    std::optional<platform::Removal> removal =
        RemoveEntry(handle_.get(), name_, path_, entry, force, posixRefused_);
    if (removal && entry.folder && !entry.link && removal->held.empty()) {
      // Gone only if its name is: one that another program holds open with delete sharing
      // (an antivirus, an indexer) stays "delete pending" with the classic disposition.
      UniqueFile still;
      const DWORD error = OpenRelative(handle_.get(), WideString(entry.name), FILE_READ_ATTRIBUTES,
                                       kShareAll, kFileOpen, 0, still);
      removal->stillThere = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    return removal;
  }
  std::size_t CountFiles(const platform::Entry& entry) override {
    return CountEntry(handle_.get(), name_, entry);
  }

 private:
  Text path_;
  UniqueFile handle_;
  std::wstring name_;
  bool posixRefused_ = false;
};

}  // namespace

bool FileSystem::FileExists(const Text& path) {
  const DWORD attributes = Attributes(WideString(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Only the shortcut is deleted by path: its desktop folders are the running user's own and the
// one shared by all users, which only administrators may change. Its entry is still opened
// relative to its folder and never followed.
bool FileSystem::DeleteFile(const Text& path, bool force) {
  const std::wstring full = LongPath(path);
  WIN32_FIND_DATAW found;
  UniqueFind find(
      ::FindFirstFileExW(full.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (!find) ThrowLastError();
  const bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  const bool link = IsLinkTag(found.dwFileAttributes, found.dwReserved0);
  if (folder && !link) Throw(ERROR_ACCESS_DENIED);  // a folder is no file, as DeleteFileW says
  UniqueFile parent(::CreateFileW(ParentOf(full).c_str(),
                                  FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!parent) ThrowLastError();
  bool posixRefused = false;
  const std::optional<platform::Removal> removed =
      RemoveEntry(parent.get(), HandleName(parent.get()), ToText(ParentOf(WideString(path))),
                  {ToText(found.cFileName), folder, link}, force, posixRefused);
  if (!removed) Throw(ERROR_FILE_NOT_FOUND);
  return removed->held.empty();
}

bool FileSystem::FolderExists(const Text& path) {
  const DWORD attributes = Attributes(WideString(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSystem::IsLink(const Text& path) { return IsLinkAt(WideString(path)); }

platform::HeldFolder FileSystem::HoldFolder(const Text& path) {
  Walked walked;
  // Listing and opening what is in it; renaming or deleting it is shared with nobody.
  const DWORD error =
      OpenWithoutLinks(WideString(path), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_DIRECTORY_FILE, walked);
  platform::HeldFolder held;
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY) {
    return held;  // nothing there, or a file: no folder to clean
  }
  if (error == kReparsePointEncountered) {
    held.link = true;
  } else if (error) {
    held.error = ErrorFromCode(error);
  } else {
    held.folder =
        std::make_unique<HeldFolder>(path, std::move(walked.last), HandleName(walked.last.get()));
  }
  return held;
}

}  // namespace win32
