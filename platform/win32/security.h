#pragma once
// Who may change a file or folder. The program runs as SYSTEM or an administrator; what only
// those accounts (and TrustedInstaller, and the user it runs as) can change is no way in for
// anyone else.
#include <windows.h>

#include "platform/win32/unique.h"

namespace win32 {

// True when the object's owner is not SYSTEM, the Administrators group, TrustedInstaller or
// the user this program runs as (any other owner may rewrite its permissions at will), or its
// permissions let anyone else write to it,
// delete it, add to it (a folder: a file planted beside a program), or change its permissions.
// Also when they cannot be read.
bool OthersMayChange(HANDLE object);

using UniqueDescriptor = Unique<LocalTraits<PSECURITY_DESCRIPTOR>>;

// The security descriptor an SDDL text describes; empty when the text is not one.
UniqueDescriptor DescriptorFrom(const wchar_t* sddl);

// SDDL for SYSTEM and the administrators only: full access for them, nobody else anything,
// nothing inherited; the second is inherited by what is made in a folder too.
inline constexpr wchar_t kSystemAndAdministrators[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
inline constexpr wchar_t kSystemAndAdministratorsInherited[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// A security descriptor for what the program creates: full access for SYSTEM and the
// Administrators group, read (and, for a folder, listing) for authenticated users, nothing
// inherited from a folder others may change.
UniqueDescriptor AdministratorsOnly();

}  // namespace win32
