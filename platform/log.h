#pragma once
// The run's log: one line per event, appended. Writing never fails as far as the caller can
// tell: a log that cannot be written is simply not written, and the run goes on unchanged.
#include "platform/text.h"

namespace platform {

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Appends one line; the platform puts the local time in front of it.
  virtual void Append(const Text& line) = 0;
};

}  // namespace platform
