#pragma once
// How the take-over of c:\kavro opens what it takes: decided here, carried out by the platform
// (platform/win32/files.cpp). Windows checks every right an open asks for against the entry's
// permissions, SYNCHRONIZE included, so each open asks for exactly what its step needs, and a
// privilege is enabled only for the one open that needs it.
#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace platform::takeover {

// Access rights, as Windows numbers them.
inline constexpr std::uint32_t kListDirectory = 0x00000001;   // FILE_LIST_DIRECTORY
inline constexpr std::uint32_t kTraverse = 0x00000020;        // FILE_TRAVERSE
inline constexpr std::uint32_t kReadAttributes = 0x00000080;  // FILE_READ_ATTRIBUTES
inline constexpr std::uint32_t kReadControl = 0x00020000;     // READ_CONTROL
inline constexpr std::uint32_t kWriteDac = 0x00040000;        // WRITE_DAC
inline constexpr std::uint32_t kWriteOwner = 0x00080000;      // WRITE_OWNER
inline constexpr std::uint32_t kSynchronize = 0x00100000;     // SYNCHRONIZE

inline constexpr char16_t kTakeOwnership[] = u"SeTakeOwnershipPrivilege";
inline constexpr char16_t kBackup[] = u"SeBackupPrivilege";
inline constexpr char16_t kRestore[] = u"SeRestorePrivilege";

// One open of an entry, never following it.
struct Opening {
  std::uint32_t access = 0;      // SYNCHRONIZE only where the handle is waited on (listed)
  bool backupIntent = false;     // the backup and restore privileges apply to this open alone
  std::vector<Text> privileges;  // enabled for this open only, given back after it
};

// The first look at c:\kavro: whether something is there, and what (a folder, a link, a file).
Opening FirstLook();

// The first look failed with this Win32 error: true only when nothing is there (file or path
// not found). Any other answer, access denied included, means the take-over failed.
bool NothingThere(std::uint32_t error);

// An entry opened by the administrators to be taken: its owner and permissions set (read
// before only where the warning that others could have replaced a program needs them), a
// folder listed with the same handle.
Opening ToTake(bool folder, bool readBefore);

// An entry whose owner left the administrators no access (ToTake was refused): opened for
// backup with the take-ownership, backup and restore privileges, asking only to set its owner
// and permissions and to read its attributes (a link or a hard link is not taken but removed).
Opening WayIn();

// Whether one of the take-over's opens failed, by its NT status. Another handle's oplock being
// broken (STATUS_OPLOCK_BREAK_IN_PROGRESS) comes with a valid handle, and no step of the
// take-over waits for the break (it sets security, reads attributes, lists a folder): the
// entry is taken all the same, as a client of a shared c:\kavro holding a file would have it.
bool OpenFailed(std::uint32_t ntStatus);

// The permissions the take-over gives each entry and the folder it makes in c:\kavro's place,
// as SDDL: the Administrators group its owner; SYSTEM and the administrators full control
// (inherited by what is made in a folder), nobody else anything, nothing inherited.
const char16_t* AdministratorsOnly(bool folder);

}  // namespace platform::takeover
