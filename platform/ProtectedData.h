// Secrets at rest on this machine: the enrolment codes kept for a replacement that a later start of Windows
// finishes, with no user logged on. They are bound to the machine, not to a user: the finishing step runs as
// SYSTEM, whoever started the tool.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Windows: DPAPI at machine scope (CryptProtectData / CryptUnprotectData with CRYPTPROTECT_LOCAL_MACHINE and
// CRYPTPROTECT_UI_FORBIDDEN). Linux stand-in: authenticated encryption with a key bound to this machine.
// Either way the protected bytes are useless on another machine, and changed bytes never come back as another
// text: unprotect fails (DPAPI leaves a few fields of its header unchecked; a change there gives back the
// same secret). At machine scope any process of this machine may unprotect: the file that holds the bytes
// must keep users out (platform/DurableFile.h). Both return 0, or the platform's error code.
int protectForMachine(std::string_view plain, std::string& protectedBytes);
int unprotectForMachine(std::string_view protectedBytes, std::string& plain);

}  // namespace quillon
