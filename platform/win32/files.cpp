#include "platform/win32/unique.h"  // <windows.h> before the interface's DeleteFile
#include "platform/win32/files.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <aclapi.h>

#include "platform/refusals.h"
#include "platform/take_over.h"
#include "platform/watchdog.h"
#include "platform/win32/log_file.h"
#include "platform/win32/no_follow.h"
#include "platform/win32/privilege.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

// The program deletes with administrator rights in folders any user can write to, so nothing
// it deletes is ever reached through a link, at any level: every entry is opened relative to
// its folder's handle without following it, judged by its folder's listing and by its own
// handle, and deleted through that handle. A name is never looked up twice, so an entry
// swapped for a link after it was listed is removed as a link, never followed.

// The NT status of the last failure of this thread (ntdll; not in MinGW's headers).
extern "C" LONG NTAPI RtlGetLastNtStatus();

namespace win32 {
namespace {

namespace takeover = platform::takeover;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Held: shared for everything but renaming or deleting it.
constexpr DWORD kHold = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kFileOpen = 1;  // FILE_OPEN

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
// The disposition may wait on another program (a read-handle oplock it never lets go): it is
// a step of the watchdog, cancelled past its bound. False, and nothing marked, when Windows
// refuses because another program holds the entry (HeldByAnotherProgram: a mapped image, one
// already being deleted, a wait cancelled); any other refusal throws.
struct Deleting {
  platform::Watchdog& watchdog;
  bool posixRefused = false;
};

BOOL SetBounded(platform::Watchdog& watchdog, HANDLE entry, FILE_INFO_BY_HANDLE_CLASS kind,
                void* info, DWORD size) {
  const platform::Watchdog::Step step(watchdog, entry);
  return ::SetFileInformationByHandle(entry, kind, info, size);
}

bool MarkDeleted(HANDLE entry, bool force, Deleting& deleting) {
  const auto refused = [entry](DWORD error) {
    const auto status = static_cast<std::uint32_t>(::RtlGetLastNtStatus());
    FILE_BASIC_INFO basic{};
    ::GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic);
    if (platform::HeldByAnotherProgram(status, basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
      return false;
    Throw(error);
  };
  if (force) {
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
      basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
      ::SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
    }
  }
  if (!deleting.posixRefused) {
    constexpr auto kDispositionInfoEx =
        static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);  // FileDispositionInfoEx
    FILE_DISPOSITION_INFO_EX disposition{FILE_DISPOSITION_FLAG_DELETE |
                                         FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
    if (SetBounded(deleting.watchdog, entry, kDispositionInfoEx, &disposition, sizeof disposition))
      return true;
    const DWORD error = ::GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_INVALID_FUNCTION)
      return refused(error);
    deleting.posixRefused = true;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!SetBounded(deleting.watchdog, entry, FileDispositionInfo, &disposition, sizeof disposition))
    return refused(::GetLastError());
  return true;
}

// One folder of a walk: its handle, the handle's own name, its path, its entries as listed
// when it was opened, and which comes next.
struct Level {
  HANDLE handle;
  UniqueFile owned;  // empty for the folder the walk starts from, which is the caller's
  std::wstring name;
  Text path;
  std::vector<platform::Entry> entries;
  std::size_t next = 0;
  bool keep = false;  // something in it stays, so it stays too
};

// Walks `top`, an entry of the folder `parent`, and what is below it, depth first and without
// recursion (its own stack of open folders), at most kDeepestLevel folders deep: no tree can
// end the process or keep the walk going for long. `visit(level, entry, path, stays)` opens and
// handles one entry of `level` and returns the handle of a folder to walk into (or none),
// setting `stays` when the entry stays where it is; `leave(level)` ends a folder once its
// entries are done and says whether it stays. Folders past the bound stay, named in `tooDeep`.
template <typename Visit, typename Leave>
void Walk(HANDLE parent, const std::wstring& parentName, const Text& parentPath,
          const platform::Entry& top, std::vector<Text>& tooDeep, Visit visit, Leave leave) {
  std::vector<Level> stack;
  stack.push_back({parent, {}, parentName, parentPath, {top}});
  while (!stack.empty()) {
    Level& at = stack.back();
    if (at.next == at.entries.size()) {
      const bool stays = at.owned ? leave(at) : false;
      stack.pop_back();
      if (stays && !stack.empty()) stack.back().keep = true;
      continue;
    }
    const platform::Entry& entry = at.entries[at.next++];
    const Text path = at.path + u'\\' + entry.name;
    bool stays = false;
    UniqueFile folder = visit(at, entry, path, stays);
    if (stays) at.keep = true;
    if (!folder) continue;
    if (stack.size() > platform::kDeepestLevel) {
      tooDeep.push_back(path);
      at.keep = true;
      continue;
    }
    HANDLE handle = folder.get();
    std::wstring name = HandleName(handle);
    std::vector<platform::Entry> entries = EntriesOf(handle);
    stack.push_back({handle, std::move(folder), std::move(name), path, std::move(entries)});
  }
}

// An entry opened as itself and checked: a link by its listing or by its own handle, or not;
// where the platform opened what a link points to instead (Wine), that is the error.
struct Judged {
  bool link = false;
  bool directory = false;
};
Judged Judge(HANDLE entry, const std::wstring& folderName, const platform::Entry& listed) {
  const std::wstring name = WideString(listed.name);
  if (!listed.folder && !listed.link) {
    // A plain file by its listing: opened as itself on Windows whatever it became since; Wine
    // follows a link to a file all the same and shows it in the handle's own name only.
    // (Nothing more is asked of a file: most of the tree is files.)
    if (!HasName(entry, folderName, name)) Throw(kReparsePointEncountered);
    return {};
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  ThrowLastErrorIf(!::GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag));
  const bool holdsTheLink = IsLinkTag(tag.FileAttributes, tag.ReparseTag);
  if (listed.link || holdsTheLink || !HasName(entry, folderName, name)) {
    if (!holdsTheLink) Throw(kReparsePointEncountered);
    return {true, false};
  }
  return {false, (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

// Removes the entry of the folder `parent` (named `parentName`, at `parentPath`) as listed: a
// file, or a folder with everything in it. A link, by its listing or by its own handle, is
// removed as a link. What another program holds stays, with the folders above it, and so does
// what lies too deep. Nothing when the entry is gone.
std::optional<platform::Removal> RemoveEntry(HANDLE parent, const std::wstring& parentName,
                                             const Text& parentPath, const platform::Entry& top,
                                             bool force, Deleting& deleting) {
  platform::Removal removal;
  bool found = false;
  const auto visit = [&](Level& at, const platform::Entry& listed, const Text& path,
                         bool& stays) -> UniqueFile {
    UniqueFile entry;
    LONG status = 0;
    const DWORD error = OpenRelative(
        at.handle, WideString(listed.name),
        DELETE | FILE_READ_ATTRIBUTES | (force ? FILE_WRITE_ATTRIBUTES : 0) |
            (listed.folder ? FILE_LIST_DIRECTORY : 0),
        kShareAll, kFileOpen, 0, entry, nullptr, &status);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    if (!at.owned) found = true;
    if (error && platform::HeldByAnotherProgram(static_cast<std::uint32_t>(status))) {
      removal.held.push_back(path);
      stays = true;
      return {};
    }
    if (error) Throw(error);
    const Judged judged = Judge(entry.get(), at.name, listed);
    if (judged.directory) return entry;
    if (!MarkDeleted(entry.get(), force, deleting)) {
      removal.held.push_back(path);
      stays = true;
    } else if (!(judged.link && listed.folder)) {
      ++removal.files;
    }
    return {};
  };
  const auto leave = [&](Level& done) {
    if (done.keep) return true;  // the folder stays, with what stays in it
    if (MarkDeleted(done.handle, force, deleting)) return false;
    removal.held.push_back(done.path);
    return true;
  };
  Walk(parent, parentName, parentPath, top, removal.tooDeep, visit, leave);
  if (!found) return std::nullopt;
  return removal;
}

// The files RemoveEntry would remove, walked the same way but only read; what cannot be read is
// not counted.
std::size_t CountEntry(HANDLE parent, const std::wstring& parentName, const Text& parentPath,
                       const platform::Entry& top) {
  std::size_t files = 0;
  std::vector<Text> tooDeep;
  const auto visit = [&](Level& at, const platform::Entry& listed, const Text&,
                         bool&) -> UniqueFile {
    if (!listed.folder || listed.link) {
      files += listed.folder ? 0 : 1;
      return {};
    }
    const std::wstring name = WideString(listed.name);
    UniqueFile entry;
    if (OpenRelative(at.handle, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareAll,
                     kFileOpen, FILE_DIRECTORY_FILE, entry) ||
        !IsEntryItself(entry.get(), at.name, name)) {
      return {};
    }
    return entry;
  };
  Walk(parent, parentName, parentPath, top, tooDeep, visit, [](Level&) { return false; });
  return files;
}

// ---- taking c:\kavro over ----

// The administrators' descriptor for a folder (inherited by what is made in it) and a file
// (takeover::AdministratorsOnly).
PSECURITY_DESCRIPTOR AdministratorsDescriptor(bool folder) {
  static const UniqueDescriptor forFolder =
      DescriptorFrom(reinterpret_cast<const wchar_t*>(takeover::AdministratorsOnly(true)));
  static const UniqueDescriptor forFile =
      DescriptorFrom(reinterpret_cast<const wchar_t*>(takeover::AdministratorsOnly(false)));
  return folder ? forFolder.get() : forFile.get();
}

// Sets the administrators' owner and protected DACL through the handle, in one call.
DWORD SetAdministrators(HANDLE entry, bool folder) {
  PSECURITY_DESCRIPTOR descriptor = AdministratorsDescriptor(folder);
  if (!descriptor) return ERROR_INVALID_SECURITY_DESCR;
  // On the handle alone: SetSecurityInfo would also rewrite what is below a folder, by path,
  // before this walk has removed the links in it.
  return ::SetKernelObjectSecurity(entry, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   descriptor)
             ? 0
             : ::GetLastError();
}

// Opens the entry `name` of `parent` as decided (takeover::Opening), never following it, the
// privileges enabled for this open alone.
DWORD Open(HANDLE parent, const std::wstring& name, const takeover::Opening& how, UniqueFile& entry) {
  std::vector<std::unique_ptr<EnabledPrivilege>> enabled;
  for (const Text& privilege : how.privileges)
    enabled.push_back(std::make_unique<EnabledPrivilege>(Wide(privilege)));
  return OpenForStep(parent, name, how.access & ~SYNCHRONIZE,
                     how.backupIntent ? FILE_OPEN_FOR_BACKUP_INTENT : 0,
                     (how.access & SYNCHRONIZE) != 0, entry);
}

// Opens the entry to take it. A user may own it and have left the administrators nothing
// (`closed`): then it is opened the way such an entry can be (takeover::WayIn).
DWORD OpenToTake(HANDLE parent, const std::wstring& name, bool folder, bool readBefore,
                 UniqueFile& entry, bool& closed) {
  const DWORD error = Open(parent, name, takeover::ToTake(folder, readBefore), entry);
  if (error != ERROR_ACCESS_DENIED) return error;
  closed = true;
  return Open(parent, name, takeover::WayIn(), entry);
}

// Wine keeps no DACL: it turns one into Unix mode bits, which also make its read-only flag.
// A read-only file stays read-only (the clean-up never removes one), so the flag is set again
// where the new permissions took it away; on Windows it never goes.
void KeepReadOnly(HANDLE parent, const std::wstring& name, HANDLE entry,
                  const FILE_BASIC_INFO& before) {
  FILE_BASIC_INFO after{};
  if (!(before.FileAttributes & FILE_ATTRIBUTE_READONLY) ||
      !::GetFileInformationByHandleEx(entry, FileBasicInfo, &after, sizeof after) ||
      (after.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    return;
  }
  UniqueFile writable;
  if (OpenRelative(parent, name, FILE_WRITE_ATTRIBUTES, kShareAll, kFileOpen, 0, writable)) return;
  after.FileAttributes |= FILE_ATTRIBUTE_READONLY;
  ::SetFileInformationByHandle(writable.get(), FileBasicInfo, &after, sizeof after);
}

// Which entries of the take-over have their permissions read before they are set, for the
// warning that others could have replaced a program: the folder itself, each program the run
// will start (and package it hands over) inside it, each folder on their way, and every entry
// beside them (the libraries a program loads from its own folder). Paths as the platform
// writes them out (long names, backslashes), compared in capitals.
class ReadBefore {
 public:
  ReadBefore(const Text& folder, const std::vector<Text>& programs) : paths_{UpperCase(folder)} {
    const Text inside = UpperCase(folder) + u'\\';
    for (const Text& program : programs) {
      Text at = UpperCase(LongForm(program));
      if (!at.starts_with(inside)) continue;
      folders_.insert(at.substr(0, at.rfind(u'\\')));
      for (; at.starts_with(inside); at.resize(at.rfind(u'\\'))) paths_.insert(at);
    }
  }
  bool Reads(const Text& path, const Text& folder) const {
    return paths_.count(UpperCase(path)) > 0 || folders_.count(UpperCase(folder)) > 0;
  }

 private:
  // "c:/kavro/DESINS~1.EXE" as "c:\kavro\desinstalar.exe", where the file is there to ask.
  static Text LongForm(const Text& path) {
    std::wstring wide = WideString(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    if (wide.rfind(L"\\\\?\\", 0) == 0) wide.erase(0, 4);
    wchar_t full[MAX_PATH * 2];
    const DWORD length = ::GetLongPathNameW(wide.c_str(), full, MAX_PATH * 2);
    return ToText(length && length < MAX_PATH * 2 ? std::wstring(full, length) : wide);
  }
  std::set<Text> paths_;
  std::set<Text> folders_;
};

// True when both handles are of one file (its volume and its number).
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION one{}, other{};
  return ::GetFileInformationByHandle(a, &one) && ::GetFileInformationByHandle(b, &other) &&
         one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

// Opens an entry of a folder the administrators hold to remove it as a link: DELETE is theirs
// by the folder's permissions, whatever the entry's own say, which may refuse the SYNCHRONIZE
// a waited handle asks for (a link a user made and closed).
DWORD OpenToRemove(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                   UniqueFile& entry) {
  const DWORD error = OpenRelative(parent, name, access, kShareAll, kFileOpen, options, entry);
  return error == ERROR_ACCESS_DENIED ? OpenForStep(parent, name, access, options, false, entry)
                                      : error;
}

// Takes the entry `top` of `parent` over, and everything below it: see TakeOverFolder.
void TakeOverEntry(HANDLE parent, const std::wstring& parentName, const Text& parentPath,
                   const platform::Entry& top, const ReadBefore& readBefore,
                   platform::TakeOver& taken, Deleting& deleting) {
  const auto refuse = [&](const Text& path, DWORD error) {
    taken.refused.emplace_back(path, ErrorFromCode(error));
  };
  const auto removeLink = [&](HANDLE folder, const std::wstring& name, const Text& path,
                              ACCESS_MASK access, ULONG options,
                              const std::function<void(HANDLE)>& judge) {
    UniqueFile entry;
    const DWORD error = OpenToRemove(folder, name, access, options, entry);
    if (takeover::NothingThere(error)) return;
    try {
      if (error) Throw(error);
      judge(entry.get());
      if (!MarkDeleted(entry.get(), false, deleting)) Throw(ERROR_SHARING_VIOLATION);
      taken.linksRemoved.push_back(path);
    } catch (const platform::Error& failed) {
      taken.refused.emplace_back(path, failed);
    }
  };
  const auto visit = [&](Level& at, const platform::Entry& listed, const Text& path,
                         bool&) -> UniqueFile {
    const std::wstring name = WideString(listed.name);
    if (listed.link) {
      // A link is removed as a link, never followed nor given our permissions.
      removeLink(at.handle, name, path, DELETE | FILE_READ_ATTRIBUTES, 0,
                 [&](HANDLE entry) { Judge(entry, at.name, listed); });
      return {};
    }
    UniqueFile entry;
    bool closed = false;
    const bool readOld = readBefore.Reads(path, at.path);
    const DWORD error = OpenToTake(at.handle, name, listed.folder, readOld, entry, closed);
    if (takeover::NothingThere(error)) return {};
    if (error) {
      refuse(path, error);
      return {};
    }
    EntryFacts facts;
    if (const DWORD factsError = FactsOf(entry.get(), at.name, name, facts)) {
      refuse(path, factsError);
      return {};
    }
    if (!facts.itself) {
      refuse(path, kReparsePointEncountered);  // made a link since it was listed
      return {};
    }
    if (facts.directory != listed.folder && !(!facts.directory && facts.names > 1)) {
      refuse(path, ERROR_DIRECTORY);  // swapped for a file or a folder since it was listed
      return {};
    }
    if (!facts.directory && facts.names > 1) {  // by the handle: it may be listed as a folder
      // A hard link: the file has a name elsewhere too (a user may have linked one of the
      // system's). Its permissions are not ours to set: this name is removed, as a link.
      entry.reset();
      removeLink(at.handle, name, path, DELETE, FILE_NON_DIRECTORY_FILE, [](HANDLE) {});
      return {};
    }
    // One its owner closed to the administrators was the owner's to change.
    if (!taken.othersCouldChange && (closed || (readOld && OthersMayChange(entry.get()))))
      taken.othersCouldChange = path;
    if (const DWORD setError = SetAdministrators(entry.get(), listed.folder)) {
      refuse(path, setError);
      return {};
    }
    KeepReadOnly(at.handle, name, entry.get(), facts.basic);
    if (!listed.folder) return {};
    if (!closed) return entry;
    // Taken the way in, which cannot list it: the administrators' own open now can, of the
    // same folder (by its file number) and no other put in its place.
    UniqueFile listing;
    DWORD listError = Open(at.handle, name, takeover::ToTake(true, false), listing);
    if (!listError && !SameFile(entry.get(), listing.get())) listError = kReparsePointEncountered;
    if (listError) {
      refuse(path, listError);
      return {};
    }
    return listing;
  };
  Walk(parent, parentName, parentPath, top, taken.tooDeep, visit, [](Level&) { return false; });
}

// A folder opened without following links and without delete sharing: nobody can rename or
// delete it, or put a link in its place, while it is open.
class HeldFolder final : public platform::Folder {
 public:
  HeldFolder(Text path, UniqueFile handle, std::wstring name,
             std::shared_ptr<platform::Watchdog> watchdog) :
      path_(std::move(path)),
      handle_(std::move(handle)),
      name_(std::move(name)),
      watchdog_(std::move(watchdog)),
      deleting_{*watchdog_} {}
  std::vector<platform::Entry> Entries() override { return EntriesOf(handle_.get()); }
  std::optional<platform::Removal> Remove(const platform::Entry& entry, bool force) override {
    std::optional<platform::Removal> removal =
        RemoveEntry(handle_.get(), name_, path_, entry, force, deleting_);
    if (removal && entry.folder && !entry.link && removal->held.empty() &&
        removal->tooDeep.empty()) {
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
    return CountEntry(handle_.get(), name_, path_, entry);
  }

 private:
  Text path_;
  UniqueFile handle_;
  std::wstring name_;
  std::shared_ptr<platform::Watchdog> watchdog_;
  Deleting deleting_;
};

// How long a step may wait on another program (an oplock break nobody acknowledges) before it
// is cancelled and its entry counts as held.
constexpr std::chrono::seconds kWaitBound{5};

}  // namespace

// The thread that first needs it is the one whose waits it cuts: the run's.
platform::Watchdog& FileSystem::Watched() {
  if (!watchdog_) {
    auto thread = std::make_shared<UniqueHandle>(
        ::OpenThread(THREAD_TERMINATE, FALSE, ::GetCurrentThreadId()));
    // The wait is the thread's synchronous call, or on a handle opened without synchronous
    // I/O, that handle's: both are cancelled.
    watchdog_ = std::make_shared<platform::Watchdog>(kWaitBound, [thread](void* handle) {
      ::CancelSynchronousIo(thread->get());
      if (handle) ::CancelIoEx(static_cast<HANDLE>(handle), nullptr);
    });
  }
  return *watchdog_;
}

bool FileSystem::FileExists(const Text& path) {
  const DWORD attributes = Attributes(WideString(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Only the shortcut is deleted by path: each desktop folder is walked to from its drive's root
// without following a link (a user may make their own desktop a link), and the shortcut
// opened relative to it, never followed.
bool FileSystem::DeleteFile(const Text& path, bool force) {
  const std::wstring wide = WideString(path);
  Walked folder;
  if (DWORD error = WalkToFolder(ParentOf(wide), folder)) Throw(error);
  const std::wstring leaf = LeafOf(wide);
  UniqueFile entry;
  if (DWORD error = OpenRelative(folder.folder.get(), leaf, FILE_READ_ATTRIBUTES, kShareAll,
                                 kFileOpen, 0, entry)) {
    Throw(error);
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  ThrowLastErrorIf(!::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag));
  entry.reset();
  const bool isFolder = tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  const bool link = IsLinkTag(tag.FileAttributes, tag.ReparseTag);
  if (isFolder && !link) Throw(ERROR_ACCESS_DENIED);  // a folder is no file, as DeleteFileW says
  Deleting deleting{Watched()};
  const std::optional<platform::Removal> removed =
      RemoveEntry(folder.folder.get(), folder.folderName, ToText(ParentOf(wide)),
                  {ToText(leaf), isFolder, link}, force, deleting);
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
    Watched();
    held.folder = std::make_unique<HeldFolder>(path, std::move(walked.last),
                                               HandleName(walked.last.get()), watchdog_);
  }
  return held;
}

std::optional<platform::TakeOver> FileSystem::TakeOverFolder(const Text& path,
                                                             const platform::TakeOverAsked& asked) {
  const std::wstring wide = WideString(path);
  platform::TakeOver taken;
  // Whatever keeps the folder from being looked at, or taken whole, refuses the uninstallers:
  // only "nothing there" is no folder.
  const auto refused = [&](DWORD error) {
    taken.refused.emplace_back(path, ErrorFromCode(error));
    return taken;
  };
  Walked walked;
  if (const DWORD error = WalkToFolder(ParentOf(wide), walked)) return refused(error);
  const std::wstring leaf = LeafOf(wide);
  UniqueFile look;
  DWORD error = Open(walked.folder.get(), leaf, takeover::FirstLook(), look);
  if (error == ERROR_ACCESS_DENIED) error = Open(walked.folder.get(), leaf, takeover::WayIn(), look);
  if (takeover::NothingThere(error)) {
    if (!asked.holdName) return std::nullopt;
    // Held for the run by a folder of the administrators', open without delete sharing until
    // the end: nobody can put a folder or a link in its place while the uninstallers run.
    if (const DWORD madeError = OpenRelative(walked.folder.get(), leaf,
                                             FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kHold,
                                             2 /* FILE_CREATE */, FILE_DIRECTORY_FILE, held_,
                                             AdministratorsDescriptor(true)))
      return refused(madeError);
    taken.made = true;
    return taken;
  }
  if (error) return refused(error);
  EntryFacts facts;
  if (const DWORD factsError = FactsOf(look.get(), walked.folderName, leaf, facts))
    return refused(factsError);
  if (!facts.itself) {
    // A link in its place. One an administrator made (the suite moved to another drive) is
    // theirs; one a user made would have the uninstallers delete by path behind it: refused,
    // and so is one whose permissions cannot be read.
    UniqueFile link;
    if (Open(walked.folder.get(), leaf, {READ_CONTROL | FILE_READ_ATTRIBUTES, false, {}}, link) ||
        OthersMayChange(link.get()))
      return refused(kReparsePointEncountered);
    return std::nullopt;
  }
  if (!facts.directory) return refused(ERROR_DIRECTORY);  // a file, or anything but a folder
  look.reset();
  // Held from here to the run's end without delete sharing: nobody can rename it or delete it
  // and put a folder or a link in its place (an uninstaller's own attempt fails; an empty one
  // goes at the end). A handle that could already (opened to rename it later) refuses it.
  UniqueFile hold;
  if (const DWORD holdError = OpenForStep(walked.folder.get(), leaf, FILE_READ_ATTRIBUTES,
                                          FILE_DIRECTORY_FILE, false, hold, kHold))
    return refused(holdError);
  if (!IsEntryItself(hold.get(), walked.folderName, leaf)) return refused(kReparsePointEncountered);
  held_ = std::move(hold);
  const ReadBefore readBefore(path, asked.programs);
  Text parent = ToText(ParentOf(wide));
  if (!parent.empty() && parent.back() == u'\\') parent.pop_back();  // "c:\" as "c:"
  Deleting deleting{Watched()};
  TakeOverEntry(walked.folder.get(), walked.folderName, parent, {ToText(leaf), true, false, false},
                readBefore, taken, deleting);
  return taken;
}

bool FileSystem::RemoveIfEmpty(const Text& path) {
  held_.reset();  // ours: nobody else could rename or delete it meanwhile, nor can now
  Walked walked;
  if (OpenWithoutLinks(WideString(path), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                       kShareAll, FILE_DIRECTORY_FILE, walked))
    return false;
  if (!EntriesOf(walked.last.get()).empty()) return false;
  Deleting deleting{Watched()};
  try {
    return MarkDeleted(walked.last.get(), false, deleting);
  } catch (const platform::Error&) {
    return false;
  }
}

std::optional<platform::Error> FileSystem::MakeLogFile(const Text& path) {
  if (const DWORD error = MakeLog(WideString(path))) return ErrorFromCode(error);
  return std::nullopt;
}

}  // namespace win32
