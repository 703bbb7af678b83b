#pragma once
// A privilege of this program's token, enabled for one step only: enabled when the owner is
// made (where the token holds it) and given back to its earlier state when the owner goes.
#include <windows.h>

#include "platform/win32/unique.h"

namespace win32 {

class EnabledPrivilege {
 public:
  // `name`: SE_..._NAME, "SeDebugPrivilege" say.
  explicit EnabledPrivilege(const wchar_t* name);
  ~EnabledPrivilege();
  EnabledPrivilege(const EnabledPrivilege&) = delete;
  EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;

  // True when the token holds the privilege and it is enabled now.
  bool enabled() const { return adjusted_; }

 private:
  UniqueHandle token_;
  TOKEN_PRIVILEGES previous_{};
  bool adjusted_ = false;
};

}  // namespace win32
