#include "platform/win32/win_error.h"

#include <string>

#include "platform/win32/unique.h"
#include "platform/win32/wide.h"

namespace win32 {

platform::Error ErrorFromCode(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Unique<LocalTraits<wchar_t*>> owner(buffer);
  Text message = length ? ToText(buffer, length) : Text();
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' ||
                              message.back() == u' ')) {
    message.pop_back();
  }
  return platform::Error{code, message};
}

void ShowErrorBox(HWND owner, const platform::Error& error) {
  std::wstring text = L"Se ha producido el error ";
  text.append(std::to_wstring(error.number)).append(L":\r\n\r\n").append(WideString(error.message));
  ::MessageBoxW(owner, text.c_str(), L"DesinstalaKavro", MB_OK | MB_ICONERROR);
}

void Throw(DWORD code) { throw ErrorFromCode(code); }

void ThrowLastError() { Throw(::GetLastError()); }

}  // namespace win32
