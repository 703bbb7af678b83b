#include "platform/refusals.h"

namespace platform {

bool HeldByAnotherProgram(std::uint32_t ntStatus) {
  switch (ntStatus) {
    case kStatusOplockBreakInProgress:
    case kStatusSharingViolation:
    case kStatusFileLockConflict:
    case kStatusLockNotGranted:
      return true;
    default:
      return false;
  }
}

}  // namespace platform
