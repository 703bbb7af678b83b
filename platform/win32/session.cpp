#include "platform/win32/session.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "platform/win32/wide.h"

namespace win32 {

bool StationVisible() {
  USEROBJECTFLAGS flags{};
  return ::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                     nullptr) &&
         (flags.dwFlags & WSF_VISIBLE);
}

Text UserName() {
  wchar_t name[257];
  DWORD size = 257;
  return ::GetUserNameW(name, &size) ? ToText(name) : Text(u"?");
}

Text RawCommandLine() { return ToText(::GetCommandLineW()); }

std::vector<Text> Arguments() {
  struct LocalFreeDeleter {
    void operator()(wchar_t** p) const noexcept { ::LocalFree(p); }
  };
  int count = 0;
  const std::unique_ptr<wchar_t*[], LocalFreeDeleter> argv(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  std::vector<Text> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(ToText(argv[i]));
  return args;
}

}  // namespace win32
