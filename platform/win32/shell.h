#pragma once
// The desktop folders from the shell's known-folder function.
#include "platform/shell.h"

namespace win32 {

class Shell final : public platform::Shell {
 public:
  std::optional<Text> DesktopFolder(platform::Desktop which) override;
};

}  // namespace win32
