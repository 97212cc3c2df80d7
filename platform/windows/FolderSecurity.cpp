// Windows body of platform/windows/FolderSecurity.h.
#include "platform/windows/FolderSecurity.h"

#include <sddl.h>

#include <cwchar>

namespace quillon {
namespace {

// Every right that changes the folder, what it holds, or who may do so.
constexpr ACCESS_MASK kWritingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                       FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                       GENERIC_ALL | MAXIMUM_ALLOWED;

// NT SERVICE\TrustedInstaller, which owns the Windows folder's own folders.
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

void freeLocal(wchar_t* text) { LocalFree(text); }
using ManagedLocalText = ManagedResource<wchar_t*, freeLocal>;

bool isTrustedInstaller(PSID sid) {
  ManagedLocalText text;
  return ConvertSidToStringSidW(sid, text.receive()) && std::wcscmp(text.get(), kTrustedInstaller) == 0;
}

bool isAdministration(PSID sid, PSID systemOwner) {
  return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid) ||
         isTrustedInstaller(sid) || (systemOwner != nullptr && EqualSid(sid, systemOwner));
}

}  // namespace

bool onlyAdministratorsCanWrite(PSECURITY_DESCRIPTOR descriptor, PSID systemOwner) {
  // The owner may always change the rights, whatever the DACL says.
  PSID owner = nullptr;
  BOOL ownerDefaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) || owner == nullptr ||
      !isAdministration(owner, systemOwner)) {
    return false;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || dacl == nullptr) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return false;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    switch (header->AceType) {
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_OBJECT_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
        continue;  // a denial only ever takes rights away
      case ACCESS_ALLOWED_ACE_TYPE:
        break;
      default:
        return false;  // an allowing entry of another layout: who it lets write cannot be told
    }
    const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kWritingRights) == 0) continue;
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (!isAdministration(sid, systemOwner) && !IsWellKnownSid(sid, WinCreatorOwnerSid)) return false;
  }
  return true;
}

}  // namespace quillon
