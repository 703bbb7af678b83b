#pragma once
// Why the platform refused to open or delete an entry, told by the NT status it gave: another
// program holds the entry (it is left where it is and named, and something of the suite
// remains), or a failure nothing absorbs (the error box).
#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kStatusOplockBreakInProgress = 0x00000108;
inline constexpr std::uint32_t kStatusSharingViolation = 0xC0000043;
inline constexpr std::uint32_t kStatusFileLockConflict = 0xC0000054;
inline constexpr std::uint32_t kStatusLockNotGranted = 0xC0000055;
inline constexpr std::uint32_t kStatusDeletePending = 0xC0000056;
inline constexpr std::uint32_t kStatusCannotDelete = 0xC0000121;
inline constexpr std::uint32_t kStatusCancelled = 0xC0000120;

// True when another program holds the entry: open without sharing, locked, under an oplock
// whose break its holder has not acknowledged (an open that waited for that could wait for
// ever: it completes at once instead, and the entry counts as held), mapped as a running
// program or loaded library (Windows refuses to delete such an image: STATUS_CANNOT_DELETE,
// which a read-only entry also gives, and that one is ours to refuse), being deleted by
// another program already (delete pending), or waited on past the bound of a step (cancelled:
// an oplock break its holder never acknowledged, platform/watchdog.h).
bool HeldByAnotherProgram(std::uint32_t ntStatus, bool readOnly = false);

}  // namespace platform
