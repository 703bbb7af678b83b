#pragma once
// Opening what the program writes, deletes or starts without passing through a link.
//
// A path ends in a link when its own directory entry says so (reparse point), when the handle
// opened with FILE_OPEN_REPARSE_POINT says so (FileAttributeTagInfo), or when the opened
// handle names another file than the one asked for. The last test is for Wine: it follows
// every link when it opens a file, even with FILE_OPEN_REPARSE_POINT, and shows a link to a
// file as a plain file everywhere except in the opened file's own name.
//
// On Windows FILE_OPEN_REPARSE_POINT applies to the last step of a path only: the folders on
// the way are followed whatever they are. So a path is never opened whole: it is walked one
// step at a time from its volume's root, each step opened relative to the one above.
#include <string>

#include "platform/win32/unique.h"

namespace win32 {

// ERROR_REPARSE_POINT_ENCOUNTERED, which MinGW's headers lack: a link where none may be.
inline constexpr DWORD kReparsePointEncountered = 4395;

// A reparse point that names another place (symbolic link, junction, mount point), not one
// that only stores a file differently (compressed system files, deduplicated or cloud files).
// Wine gives its links no tag at all; Windows never gives a reparse point tag 0.
inline bool IsLinkTag(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (tag == 0 || IsReparseTagNameSurrogate(tag));
}

// ERROR_OPLOCK_BREAK_IN_PROGRESS: another handle's oplock is being broken.
inline constexpr DWORD kOplockBreakInProgress = 742;

// NtCreateFile of the entry `name` of the folder `parent` itself, never what it points to
// (FILE_OPEN_REPARSE_POINT, synchronous I/O); with no parent, `name` is a full NT path. The
// security descriptor applies to what the call creates. An open that would wait for another
// handle's oplock to be given up completes at once (FILE_COMPLETE_IF_OPLOCKED) and counts as
// failed (kOplockBreakInProgress): whoever holds the oplock could make it wait for ever.
// Returns the Win32 error, 0 on success; `status`, when given, gets the NT status.
DWORD OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share,
                   ULONG disposition, ULONG options, UniqueFile& opened,
                   PSECURITY_DESCRIPTOR created = nullptr, LONG* status = nullptr);

// As OpenRelative, for the take-over's steps, none of which waits on another handle's oplock
// break (platform::takeover::OpenFailed: such a handle is kept). `waited`: SYNCHRONIZE and
// synchronous I/O, for a handle whose I/O is waited on (a folder listed); without it neither
// is asked, since Windows checks SYNCHRONIZE against the entry's permissions like any other
// right, and a user's may refuse it.
DWORD OpenForStep(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                  bool waited, UniqueFile& opened,
                  ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);

// The handle's own path below its volume ("\folder\file"), empty when it cannot be read.
std::wstring HandleName(HANDLE handle);

// What the take-over asks of each entry it opened, read in one query (FileAllInformation):
// its attributes (its reparse tag only where it is a reparse point), its number of names, and
// whether it is the entry `name` of the folder named `folderName` and no link (as
// IsEntryItself). Returns the Win32 error, 0 on success.
struct EntryFacts {
  FILE_BASIC_INFO basic{};
  ULONG names = 0;   // hard links: more than one where the file has a name elsewhere too
  bool directory = false;
  bool itself = false;
};
DWORD FactsOf(HANDLE handle, const std::wstring& folderName, const std::wstring& name,
              EntryFacts& facts);

// True when the handle's own name is `name` in the folder whose handle name is `folderName`;
// also when a name cannot be read (the handle's tag is then all there is to go by).
bool HasName(HANDLE handle, const std::wstring& folderName, const std::wstring& name);

// HasName, and the handle's tag does not say reparse point.
bool IsEntryItself(HANDLE handle, const std::wstring& folderName, const std::wstring& name);

// A path opened without links: its last folder and, when asked for, its last step.
struct Walked {
  UniqueFile folder;
  std::wstring folderName;  // the folder's handle name
  UniqueFile last;
};

// Walks an absolute folder path ("C:\a\b", "\\server\share\a", either with "\\?\" in front)
// from its volume's root, each folder opened relative to the one above and checked to be no
// link (IsEntryItself). With `create`, missing folders are made with that security
// descriptor. Returns the Win32 error (kReparsePointEncountered for a link), 0 on success.
DWORD WalkToFolder(const std::wstring& path, Walked& walked, PSECURITY_DESCRIPTOR create = nullptr);

// WalkToFolder to the path's folder, then its last step opened relative to it with the
// access, sharing and options given (never created), and checked the same way.
DWORD OpenWithoutLinks(const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG options,
                       Walked& walked);

// True when the path's last step is a link by any of the three tests above (the folders above
// it are taken as they are); false when nothing is there. Fails with a platform::Error when
// the entry is there but cannot be opened.
bool IsLinkAt(const std::wstring& path);

// The folder part of a path and its last step ("C:\a\b.log" gives "C:\a" and "b.log").
std::wstring ParentOf(const std::wstring& path);
std::wstring LeafOf(const std::wstring& path);

}  // namespace win32
