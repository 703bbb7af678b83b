#pragma once
// The shell's folders of the current user.
#include <optional>

#include "platform/text.h"

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // The full path of the user's desktop folder, without a trailing backslash; nothing when
  // the user has none (the SYSTEM account often has none).
  virtual std::optional<Text> DesktopFolder() = 0;
};

}  // namespace platform
