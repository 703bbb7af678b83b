#include "platform/win32/privilege.h"

namespace win32 {

EnabledPrivilege::EnabledPrivilege(const wchar_t* name) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return;
  token_.reset(token);
  TOKEN_PRIVILEGES wanted{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  DWORD size = 0;
  // A token without the privilege answers success with ERROR_NOT_ALL_ASSIGNED: nothing changed.
  adjusted_ = ::LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid) &&
              ::AdjustTokenPrivileges(token, FALSE, &wanted, sizeof previous_, &previous_, &size) &&
              ::GetLastError() == ERROR_SUCCESS;
}

EnabledPrivilege::~EnabledPrivilege() {
  if (adjusted_) ::AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
}

}  // namespace win32
