#include "platform/win32/security.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace win32 {
namespace {

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!sid || !::ConvertSidToStringSidW(sid, &text)) return {};
  const Unique<LocalTraits<wchar_t*>> owned(text);
  return text;
}

// SYSTEM, Administrators, TrustedInstaller, OWNER RIGHTS (only ever the owner, trusted by the
// time its entries are read) and the user this program runs as, who could change anything
// of this anyway.
bool IsTrusted(PSID sid) {
  static const std::vector<std::wstring> trusted = [] {
    std::vector<std::wstring> sids = {
        L"S-1-5-18", L"S-1-5-32-544", L"S-1-3-4",
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
      const UniqueHandle owned(token);
      std::vector<DWORD> user(256);
      DWORD size = 0;
      if (::GetTokenInformation(token, TokenUser, user.data(),
                                static_cast<DWORD>(user.size() * sizeof(DWORD)), &size)) {
        sids.push_back(SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid));
      }
    }
    return sids;
  }();
  // Compared as SIDs, not as texts: this runs for every entry of c:\kavro that is taken over.
  static const std::vector<std::vector<BYTE>> binary = [] {
    std::vector<std::vector<BYTE>> sids;
    for (const std::wstring& text : trusted) {
      PSID made = nullptr;
      if (text.empty() || !::ConvertStringSidToSidW(text.c_str(), &made)) continue;
      const Unique<LocalTraits<PSID>> owned(made);
      const auto* bytes = static_cast<const BYTE*>(made);
      sids.emplace_back(bytes, bytes + ::GetLengthSid(made));
    }
    return sids;
  }();
  if (!sid || !::IsValidSid(sid)) return false;
  for (const std::vector<BYTE>& known : binary)
    if (::EqualSid(sid, const_cast<BYTE*>(known.data()))) return true;
  return false;
}

struct Security {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  std::vector<LONGLONG> descriptor;  // what owner and dacl point into
  bool read = false;
};

Security SecurityOf(HANDLE object) {
  // Read into a buffer that most descriptors fit, so that one call usually does (this runs for
  // every entry of c:\kavro that is taken over); a larger one is read again.
  Security security;
  DWORD needed = 1024;
  for (int attempt = 0; attempt < 2 && !security.read; ++attempt) {
    security.descriptor.assign(needed / sizeof(LONGLONG) + 1, 0);
    security.read = ::GetKernelObjectSecurity(
        object, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, security.descriptor.data(),
        static_cast<DWORD>(security.descriptor.size() * sizeof(LONGLONG)), &needed);
  }
  BOOL present = FALSE, defaulted = FALSE;
  void* const read = security.descriptor.data();
  security.read = security.read &&
                  ::GetSecurityDescriptorOwner(read, &security.owner, &defaulted) &&
                  ::GetSecurityDescriptorDacl(read, &present, &security.dacl, &defaulted);
  if (!present) security.dacl = nullptr;
  return security;
}

}  // namespace

bool OthersMayChange(HANDLE object) {
  const Security security = SecurityOf(object);
  if (!security.read || !IsTrusted(security.owner)) return true;
  if (!security.dacl) return true;  // no permissions at all: everyone may do everything
  // Writing or appending (for a folder: adding files), deleting, deleting what is inside,
  // taking over the permissions, and writing attributes (enough to make an empty folder a
  // junction, or a file another kind of reparse point).
  constexpr ACCESS_MASK kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                   FILE_WRITE_ATTRIBUTES | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                   GENERIC_ALL;
  for (DWORD i = 0; i < security.dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(security.dacl, i, &ace)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for what is made inside, not for it
    if (header->AceType == ACCESS_DENIED_ACE_TYPE)
      continue;  // ignored: at worst a warning too many
    // Conditional, compound and object entries grant too, under terms not weighed here.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kChanges) && !IsTrusted(reinterpret_cast<PSID>(&allowed->SidStart)))
      return true;
  }
  return false;
}

UniqueDescriptor DescriptorFrom(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                         nullptr);
  return UniqueDescriptor(descriptor);
}

UniqueDescriptor AdministratorsOnly() {
  // Protected (P): nothing inherited from a folder others may change.
  return DescriptorFrom(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;AU)");
}

}  // namespace win32
