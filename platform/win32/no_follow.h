#pragma once
// Opening what the program writes or deletes without passing through a link at the last step.
//
// A path ends in a link when its own directory entry says so (reparse point), when the handle
// opened with FILE_FLAG_OPEN_REPARSE_POINT says so (FileAttributeTagInfo), or when the opened
// handle names another file than the one asked for. The last test is for Wine: it follows
// every link when it opens a file, even with FILE_FLAG_OPEN_REPARSE_POINT, and shows a link
// to a file as a plain file everywhere except in the opened file's own name.
#include <string>

#include "platform/win32/unique.h"

namespace win32 {

// The handle's own path below its volume ("\folder\file"), empty when it cannot be read.
std::wstring HandleName(HANDLE handle);

// True when the handle's own name is `name` in the folder whose handle name is `folderName`;
// also when a name cannot be read (the handle's tag is then all there is to go by).
bool HasName(HANDLE handle, const std::wstring& folderName, const std::wstring& name);

// HasName, and the handle's tag does not say reparse point.
bool IsEntryItself(HANDLE handle, const std::wstring& folderName, const std::wstring& name);

// True when the path's last step is a link by any of the three tests above (the folders above
// it are taken as they are); false when nothing is there. Fails with a platform::Error when
// the entry is there but cannot be opened.
bool IsLinkAt(const std::wstring& path);

// The folder part of a path and its last step ("C:\a\b.log" gives "C:\a" and "b.log").
std::wstring ParentOf(const std::wstring& path);
std::wstring LeafOf(const std::wstring& path);

}  // namespace win32
