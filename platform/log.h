#pragma once
// The run's log: one entry per event, appended, each with its severity. Writing never fails as
// far as the caller can tell: a log that cannot be written is simply not written, and the run
// goes on unchanged.
#include "platform/text.h"

namespace platform {

// As the log viewers of deployment tools tell entries apart (CMTrace's "type").
enum class Severity { Information = 1, Warning = 2, Error = 3 };

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Appends one entry; the platform puts the local time, the date and the thread with it.
  virtual void Append(const Text& text, Severity severity) = 0;
};

}  // namespace platform
