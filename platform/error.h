#pragma once
// The one error type of the program: a failure that the platform reported, with the
// platform's own error number and its message. Nothing in the run handles it; it ends the
// run with the error box.
#include <cstdint>

#include "platform/text.h"

namespace platform {

struct Error {
  std::uint32_t number = 0;
  Text message;
};

}  // namespace platform
