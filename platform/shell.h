#pragma once
// The shell's folders of the current user.
#include "platform/text.h"

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // The full path of the user's desktop folder, without a trailing backslash. Fails with a
  // platform::Error.
  virtual Text DesktopFolder() = 0;
};

}  // namespace platform
