// Windows only: folders that only administrators can write, as the tool makes them and as it recognises
// them. The tool runs elevated and so does the Windows Installer it starts: a folder they write into must
// not be one where a user could have put a link or a file of their own.
#pragma once

#include "platform/windows/WindowsSupport.h"

namespace quillon {

// The security descriptor of a folder the tool makes: owned by Administrators; full control for
// Administrators and SYSTEM, read and list for Users; nothing inherited from the folder above (whose
// rights another program may have widened). In the security descriptor language, for
// ConvertStringSecurityDescriptorToSecurityDescriptorW.
inline constexpr wchar_t kAdministratorsOnlyFolder[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// True when, by this security descriptor, only administrators can change the folder or what is in it: its
// owner is Administrators, SYSTEM, TrustedInstaller or `systemOwner`, and its DACL allows no right that
// writes, deletes or changes rights or owner (GENERIC_WRITE and GENERIC_ALL included, also in entries that
// only their children inherit) to anyone but those and CREATOR OWNER (whose entries only ever reach what
// those create). A missing (null) DACL allows everything to everyone; an allowing entry of a kind it cannot
// read counts as allowing. The descriptor needs its owner and DACL.
//
// `systemOwner` is the owner of the Windows folder itself (or null). On Windows that is TrustedInstaller; a
// machine where somebody else owns it (Wine, whose files all belong to the one user who runs it) has given
// that account the system already, msiexec.exe included, so trusting it with a log folder exposes nothing
// more.
bool onlyAdministratorsCanWrite(PSECURITY_DESCRIPTOR descriptor, PSID systemOwner);

}  // namespace quillon
