#include "platform/win32/receipt.h"

#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/security.h"
#include "platform/win32/unique.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace win32 {
namespace {

// The Administrators group its owner; SYSTEM and the administrators full control, users read,
// nothing inherited from HKEY_LOCAL_MACHINE\SOFTWARE.
constexpr wchar_t kOthers[] = L"OtrosPodianCambiar";
constexpr wchar_t kReceiptSddl[] = L"O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";

std::wstring UtcNow() {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  wchar_t text[32];
  std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  return text;
}

LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LSTATUS SetNumber(HKEY key, const wchar_t* name, DWORD number) {
  return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number);
}

}  // namespace

std::optional<Text> OthersCouldChangeBefore() {
  UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kReceiptKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<wchar_t> text(32768);
  DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(key.get(), nullptr, kOthers, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return ToText(text.data());
}

std::optional<platform::Error> RecordReceipt(const Receipt& receipt, const Text& version,
                                             const Text& logPath) {
  const UniqueDescriptor descriptor = DescriptorFrom(kReceiptSddl);
  if (!descriptor) return ErrorFromCode(ERROR_INVALID_SECURITY_DESCR);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  UniqueKey key;
  DWORD disposition = 0;
  // KEY_WOW64_64KEY: the same key for the 32-bit program and a 64-bit build (ignored where
  // Windows has one view).
  LSTATUS status = ::RegCreateKeyExW(
      HKEY_LOCAL_MACHINE, kReceiptKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
      KEY_QUERY_VALUE | KEY_SET_VALUE | WRITE_DAC | WRITE_OWNER | KEY_WOW64_64KEY, &attributes,
      key.put(), &disposition);
  // A key that was there already (made by hand, say) is made the administrators' again before
  // anything is written in it.
  if (!status && disposition == REG_OPENED_EXISTING_KEY)
    status = ::RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 descriptor.get());
  const std::wstring now = UtcNow();
  if (!status) status = SetNumber(key.get(), L"Queda", receipt.remains);
  if (!status && receipt.exitStatus) status = SetNumber(key.get(), L"CodigoDeSalida", *receipt.exitStatus);
  if (!status) status = SetText(key.get(), receipt.exitStatus ? L"Fin" : L"Inicio", now);
  if (!status && !receipt.exitStatus) {
    for (const wchar_t* stale : {L"CodigoDeSalida", L"Fin"}) {
      const LSTATUS deleted = ::RegDeleteValueW(key.get(), stale);
      if (deleted && deleted != ERROR_FILE_NOT_FOUND) status = deleted;
    }
  }
  if (!status && receipt.exitStatus) {
    if (receipt.othersCouldChange) {
      status = SetText(key.get(), kOthers, WideString(*receipt.othersCouldChange));
    } else if (const LSTATUS deleted = ::RegDeleteValueW(key.get(), kOthers);
               deleted != ERROR_FILE_NOT_FOUND) {
      status = deleted;
    }
  }
  if (!status) status = SetText(key.get(), L"Version", WideString(version));
  if (!status) status = SetText(key.get(), L"Registro", WideString(logPath));
  if (status) return ErrorFromCode(static_cast<DWORD>(status));
  return std::nullopt;
}

}  // namespace win32
