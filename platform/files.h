#pragma once
// Files and folders: existence tests and deletions. Every deletion takes the force flag; with
// force off a read-only file is never removed and trying to is a failure. A deletion never
// follows a link: a link is removed itself, or not at all (a failure). A file another program
// holds open is no failure: it is left, and said so. Failures are platform::Error.
#include <cstddef>
#include <memory>
#include <optional>
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

// What removing one entry did.
struct Removal {
  std::size_t files = 0;  // files removed, those inside a removed folder included
  // Files (or folders) another program holds open, left where they are with the folders
  // above them, by their full paths. Never scheduled for removal at the next restart: by then
  // any user could have put a link on their path.
  std::vector<Text> held;
  bool stillThere = false;  // a folder removed as far as it goes, but still there (delete pending)
};

// A folder the program holds open: while it is held nobody can rename or delete it, and
// everything in it is reached relative to it, so never through a link that someone puts in
// its place, or anywhere on its path, after it was opened.
class Folder {
 public:
  virtual ~Folder() = default;
  // The path it was opened by.
  virtual Text Path() const = 0;
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
};

}  // namespace platform
