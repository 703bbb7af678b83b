#pragma once
// The uninstallers' temporary folder, made for one run where only administrators may change
// anything: a folder of its own under the Windows folder, %SystemRoot%\DesinstalaKavro1-<random>,
// walked to without links and created with the administrators' permissions. (SYSTEM's own
// TEMP, C:\Windows\Temp, lets any user create files and folders: a DLL planted there beside
// what an uninstaller unpacks would be loaded with SYSTEM's rights.)
#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"
#include "platform/win32/unique.h"

namespace win32 {

// The uninstallers' temporary folders that earlier runs left (ended from outside before they
// removed theirs): every "DesinstalaKavro1-<16 hex digits>" folder of the Windows folder that
// no run under way holds, removed through handles as a run removes its own. Called only by a
// run that holds the run mark (no other marked run is under way).
struct EarlierTemps {
  std::vector<Text> removed;
  std::vector<Text> left;  // something in it is held (by a run under way, or a program an
                           // uninstaller left running)
};
EarlierTemps RemoveEarlierTemps();

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
  // Held open without delete sharing until Remove: no other run takes it for one it left.
  UniqueFile held_;
  Text windows_;  // the Windows folder
  Text name_;
  std::optional<Text> path_;
  std::optional<platform::Error> error_;
};

}  // namespace win32
