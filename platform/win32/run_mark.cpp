#include "platform/win32/run_mark.h"

#include <aclapi.h>
#include <sddl.h>

#include "platform/win32/wide.h"

namespace win32 {
namespace {

Text OwnerOf(HANDLE object, bool* trusted) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  *trusted = false;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return Text(u"?");
  }
  const Unique<LocalTraits<PSECURITY_DESCRIPTOR>> owned(descriptor);
  *trusted = ::IsWellKnownSid(owner, WinLocalSystemSid) ||
             ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(owner, &text)) return Text(u"?");
  const Unique<LocalTraits<wchar_t*>> ownedText(text);
  return ToText(text);
}

}  // namespace

RunMark::RunMark() {
  // Owned by the Administrators group; full access for SYSTEM and the administrators only.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
    return;
  }
  const Unique<LocalTraits<PSECURITY_DESCRIPTOR>> owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  mutex_.reset(::CreateMutexW(&attributes, FALSE, Wide(kName)));
  const DWORD error = ::GetLastError();
  if (!mutex_) {
    // Ours would let SYSTEM and the administrators in: one that does not is someone else's,
    // as is an object of another kind under that name. (Any other failure leaves the run
    // unmarked rather than never run.)
    if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE) {
      found_ = Found::SomeoneElse;
      foreignOwner_.assign(1, u'?');  // unknown: it cannot be opened
    }
    return;
  }
  if (error != ERROR_ALREADY_EXISTS) return;
  bool trusted = false;
  foreignOwner_ = OwnerOf(mutex_.get(), &trusted);
  found_ = trusted ? Found::AnotherRun : Found::SomeoneElse;
  if (trusted) foreignOwner_.clear();
  mutex_.reset();
}

}  // namespace win32
