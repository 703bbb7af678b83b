#include "platform/win32/session.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "platform/win32/wide.h"

namespace win32 {

bool StationVisible() {
  USEROBJECTFLAGS flags{};
  return ::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                     nullptr) &&
         (flags.dwFlags & WSF_VISIBLE);
}

std::uint32_t SessionId() {
  DWORD session = 0;
  return ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) ? session : 0;
}

Text UserName() {
  wchar_t name[257];
  DWORD size = 257;
  return ::GetUserNameW(name, &size) ? ToText(name) : Text(u"?");
}

void WriteToStandardOutput(const Text& text) {
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  const DWORD type = ::GetFileType(output);
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) return;
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, Wide(text), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Wide(text), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
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
