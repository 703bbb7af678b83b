#include "platform/take_over.h"

namespace platform::takeover {

namespace {

constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;

}  // namespace

bool OpenFailed(std::uint32_t ntStatus) { return (ntStatus & 0xC0000000u) == 0xC0000000u; }

Opening FirstLook() { return {kReadAttributes, false, {}}; }

bool NothingThere(std::uint32_t error) { return error == kFileNotFound || error == kPathNotFound; }

Opening ToTake(bool folder, bool readBefore) {
  std::uint32_t access = kWriteDac | kWriteOwner | kReadAttributes;
  if (readBefore) access |= kReadControl;
  if (folder) access |= kListDirectory | kTraverse | kSynchronize;
  return {access, false, {}};
}

Opening WayIn() {
  // Take-ownership grants WRITE_OWNER; with backup intent, restore grants WRITE_DAC and backup
  // the reading of its attributes, whatever the entry's permissions say.
  return {kWriteOwner | kWriteDac | kReadAttributes, true, {kTakeOwnership, kBackup, kRestore}};
}

const char16_t* AdministratorsOnly(bool folder) {
  return folder ? u"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" : u"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";
}

}  // namespace platform::takeover
