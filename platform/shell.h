#pragma once
// The shell's desktop folders.
#include <optional>

#include "platform/text.h"

namespace platform {

// The desktop of the user the program runs as, and the one shared by all users.
enum class Desktop { User, Public };

class Shell {
 public:
  virtual ~Shell() = default;
  // The full path of that desktop folder, without a trailing backslash; nothing when there is
  // none (the SYSTEM account often has none).
  virtual std::optional<Text> DesktopFolder(Desktop which) = 0;
};

}  // namespace platform
