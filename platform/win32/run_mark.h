#pragma once
// One run at a time on the computer: a run is marked by a mutex in the global namespace, seen
// from every session and by every user, as Windows Installer marks an installation under way.
// Only SYSTEM and the administrators may open it, and it belongs to the Administrators group,
// which no ordinary user can make the owner of anything: an object of that name that someone
// else made first is told apart by its owner, and cannot hold every later run back.
#include "platform/text.h"
#include "platform/win32/unique.h"

namespace win32 {

class RunMark {
 public:
  inline static const Text kName = u"Global\\DesinstalaKavro1";

  enum class Found {
    Nothing,      // this run is the only one; it is marked until the mark goes away
    AnotherRun,   // another run of the program is under way
    SomeoneElse,  // an object of that name made by another owner: ignored
  };

  RunMark();
  Found found() const { return found_; }
  // The owner of an object someone else made (its SID), when it could be read.
  const Text& foreignOwner() const { return foreignOwner_; }

 private:
  UniqueHandle mutex_;
  Found found_ = Found::Nothing;
  Text foreignOwner_;
};

}  // namespace win32
