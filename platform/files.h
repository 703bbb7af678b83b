#pragma once
// Files and folders: existence tests and deletions. Every deletion takes the force flag; with
// force off a read-only file is never removed and trying to is a failure. A deletion never
// follows a link: a link is removed itself, or not at all (a failure). A file another program
// holds open is no failure: it is left, and said so. Failures are platform::Error.
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"

// <windows.h> makes DeleteFile a macro for DeleteFileW; the member below is this interface's
// own, so Win32 code includes <windows.h> before this header.
#ifdef DeleteFile
#undef DeleteFile
#endif

namespace platform {

// One entry of a folder, as the folder's own listing shows it.
struct Entry {
  Text name;
  bool folder = false;
  bool link = false;    // a symbolic link, junction or other reparse point
  bool hidden = false;  // marked hidden or system
};

// What a folder's file list shows of its entries for a pattern: files only, hidden and system
// ones left out, each matched on its own whole name without regard to letter case (never
// through its short alias, as the platform's own matching would).
inline bool Listed(const Entry& entry, TextView pattern) {
  return !entry.folder && !entry.hidden && WildcardMatch(pattern, entry.name);
}

// How deep a walk goes below the folder it starts from. Any user can make a data folder
// thousands of levels deep; past this level, entries are left where they are and named, so
// that every walk ends, and soon, whatever the tree (real data folders are a few levels deep).
inline constexpr std::size_t kDeepestLevel = 64;

// What removing one entry did.
struct Removal {
  std::size_t files = 0;  // files removed, those inside a removed folder included
  // Files (or folders) another program holds open, left where they are with the folders
  // above them, by their full paths. Never scheduled for removal at the next restart: by then
  // any user could have put a link on their path.
  std::vector<Text> held;
  // Folders past kDeepestLevel, left where they are (with the folders above them) unwalked.
  std::vector<Text> tooDeep;
  bool stillThere = false;  // a folder removed as far as it goes, but still there (delete pending)
};

// How to take a folder over (FileSystem::TakeOverFolder).
struct TakeOverAsked {
  // Where nothing is there, a folder of the administrators' is made in its place and kept for
  // the run, so that nobody else can put a folder or a link there meanwhile.
  bool holdName = false;
  // The programs the run will start: their files, and the folders on their way, are the only
  // entries (with the folder itself) whose permissions are read before they are set, for the
  // warning that others could have replaced them.
  std::vector<Text> programs;
};

// What taking a folder over did (FileSystem::TakeOverFolder).
struct TakeOver {
  bool made = false;  // nothing was there: the folder was made to hold its name
  std::vector<Text> linksRemoved;  // links found inside it, removed as links
  // Entries that could not be made the administrators' or, being links, removed as links,
  // with why; empty when the whole tree was taken.
  std::vector<std::pair<Text, Error>> refused;
  std::vector<Text> tooDeep;  // folders past kDeepestLevel, not taken
  // Before it was taken, users other than SYSTEM, the administrators, TrustedInstaller and
  // the user this program runs as could change the folder or something in it (the first such
  // path): any of them could have replaced a program in it.
  std::optional<Text> othersCouldChange;
};

// A folder the program holds open: while it is held nobody can rename or delete it, and
// everything in it is reached relative to it, so never through a link that someone puts in
// its place, or anywhere on its path, after it was opened.
class Folder {
 public:
  virtual ~Folder() = default;
  // Its entries, as its listing shows them now.
  virtual std::vector<Entry> Entries() = 0;
  // Removes one of its entries, as listed: a file, or a folder with every file and folder in
  // it. A link, at any level, is removed itself and never followed. Nothing when the entry is
  // no longer there. A folder is checked to be gone afterwards.
  virtual std::optional<Removal> Remove(const Entry& entry, bool force) = 0;
  // The files Remove would remove, counted without removing or following anything: walked
  // through handles as Remove walks, a link counting as Remove counts it.
  virtual std::size_t CountFiles(const Entry& entry) = 0;
};

// The outcome of holding a folder: the folder, or why not.
struct HeldFolder {
  std::unique_ptr<Folder> folder;
  bool link = false;           // the path itself is a link: not opened
  std::optional<Error> error;  // it could not be opened without following links
  // Nothing of the three: there is no folder at the path.
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool FileExists(const Text& path) = 0;
  // False, and nothing removed, when another program holds the file open.
  virtual bool DeleteFile(const Text& path, bool force) = 0;
  virtual bool FolderExists(const Text& path) = 0;
  // True when the path's own entry is a link (symbolic link, junction or other reparse
  // point), whatever it points to; false when nothing is there.
  virtual bool IsLink(const Text& path) = 0;
  // Opens the folder at an absolute path without following a link, and holds it until the
  // Folder goes away.
  virtual HeldFolder HoldFolder(const Text& path) = 0;
  // Makes the folder at an absolute path (reached without following links) and everything in
  // it the administrators': the Administrators group its owner, and a protected DACL that
  // gives SYSTEM and the administrators full control and nobody else anything; every link
  // inside is removed as a link. An entry whose owner left the administrators nothing is taken
  // all the same. The folder is not held afterwards. Nothing when nothing is there (unless
  // `asked.holdName`), or when a link an administrator made is there; anything else that
  // cannot be looked at or is no folder (a file, a link a user made) is refused whole.
  virtual std::optional<TakeOver> TakeOverFolder(const Text& path, const TakeOverAsked& asked) = 0;
  // Removes the folder at an absolute path when it is a real folder, empty (one TakeOverFolder
  // made, say); never through a link. True when it went.
  virtual bool RemoveIfEmpty(const Text& path) = 0;
  // Makes a log file for another program to append to (msiexec's): a new file, readable and
  // writable by SYSTEM and the administrators only, in a folder reached without links (or the
  // plain file of ours already there); why not, when it cannot.
  virtual std::optional<Error> MakeLogFile(const Text& path) = 0;
};

}  // namespace platform
