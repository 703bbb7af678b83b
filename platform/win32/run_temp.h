#pragma once
// The uninstallers' temporary folder, made for one run where only administrators may change
// anything: a folder of its own under the Windows folder, %SystemRoot%\DesinstalaKavro1-<random>,
// walked to without links and created with the administrators' permissions. (SYSTEM's own
// TEMP, C:\Windows\Temp, lets any user create files and folders: a DLL planted there beside
// what an uninstaller unpacks would be loaded with SYSTEM's rights.)
#include <optional>

#include "platform/error.h"
#include "platform/text.h"

namespace win32 {

class RunTemp {
 public:
  RunTemp();
  RunTemp(const RunTemp&) = delete;
  RunTemp& operator=(const RunTemp&) = delete;
  // Its path; nothing when it could not be made (then `error` says why).
  const std::optional<Text>& path() const { return path_; }
  const std::optional<platform::Error>& error() const { return error_; }
  // Removes it with everything in it, through handles; what another program still holds (a
  // helper an uninstaller left running) stays. True when it is gone.
  bool Remove();

 private:
  Text windows_;  // the Windows folder
  Text name_;
  std::optional<Text> path_;
  std::optional<platform::Error> error_;
};

}  // namespace win32
