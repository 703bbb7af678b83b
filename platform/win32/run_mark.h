#pragma once
// One run at a time on the computer: a run is marked by a lock file, held open without sharing,
// in the administrators' log folder (%SystemRoot%\Logs\Software\DesinstalaKavro1.lock), where
// no ordinary user can create, hold or redirect anything, and which only SYSTEM and the
// administrators may open. The system closes it, and so releases the mark, with the process,
// however the run ends; the file stays for the next run.
//
// The file also says where the run stands: from Begin to End it holds "under way", the run's
// start and the step it has reached. A run ended from outside (a deployment agent's time
// limit, the PC switched off) leaves that behind, and the next run reads it.
#include <optional>

#include "platform/error.h"
#include "platform/text.h"
#include "platform/win32/unique.h"

namespace win32 {

class RunMark {
 public:
  enum class Found {
    Nothing,     // this run is the only one; it is marked until the mark goes away
    AnotherRun,  // another run of the program is under way
    Unmarked,    // the folder could not be had: this run goes on without a mark
  };

  RunMark();
  Found found() const { return found_; }
  const Text& path() const { return path_; }
  // Why the run is unmarked.
  const std::optional<platform::Error>& error() const { return error_; }

  // An earlier run that did not reach its end: when it started (local time) and the step it
  // had reached, as it last wrote them.
  struct Cut {
    Text started;
    Text step;
  };
  const std::optional<Cut>& earlierRunCut() const { return cut_; }

  // The run is under way from now on, at this step; then each step it enters; End: it reached
  // its end. Nothing without a mark.
  void Begin(const Text& step);
  void Step(const Text& step);
  void End();

 private:
  void Write(const Text& state);

  UniqueFile lock_;
  Found found_ = Found::Unmarked;
  Text path_;
  std::optional<platform::Error> error_;
  std::optional<Cut> cut_;
  Text started_;
};

}  // namespace win32
