#include "platform/refusals.h"

namespace platform {

bool HeldByAnotherProgram(std::uint32_t ntStatus, bool readOnly) {
  switch (ntStatus) {
    case kStatusOplockBreakInProgress:
    case kStatusSharingViolation:
    case kStatusFileLockConflict:
    case kStatusLockNotGranted:
    case kStatusDeletePending:
    case kStatusCancelled:
      return true;
    case kStatusCannotDelete:
      return !readOnly;
    default:
      return false;
  }
}

}  // namespace platform
