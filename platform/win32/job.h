#pragma once
// A job object for one started program and every process it starts: the wait lasts until all
// of them have ended.
#include <vector>

#include "platform/win32/unique.h"

namespace win32 {

class Job {
 public:
  // A new job; empty (false) where the platform gives none.
  Job();
  Job(Job&&) = default;
  Job& operator=(Job&&) = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  explicit operator bool() const { return static_cast<bool>(job_); }
  // Puts a process in it (one created suspended, so that nothing it starts escapes).
  bool Assign(HANDLE process);
  // The ids of its processes (up to a thousand: one of them ending is enough to look again).
  std::vector<DWORD> ProcessIds() const;
  // True when the process is known not to be in it (its id was reused since it was listed).
  bool KnownNotIn(HANDLE process) const;
  // Ends every process in it.
  void End(UINT exitCode);
  // Closes the job's handle; without a kill-on-close limit that ends nothing.
  void Close() { job_.reset(); }

 private:
  UniqueHandle job_;
};

}  // namespace win32
