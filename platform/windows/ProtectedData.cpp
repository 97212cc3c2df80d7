// Windows body of platform/ProtectedData.h: DPAPI at machine scope. crypt32.dll is not a KnownDLL, so it is
// delay-loaded from the system folder (loadSystemLibrary) before its first call.
#include "platform/ProtectedData.h"

#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

// crypt32 is delay-loaded: its functions are called by name, not through __imp_ pointers (see
// cmake/DelayImports.cmake).
#define DPAPI_IMP
#include <wincrypt.h>
#include <dpapi.h>

namespace quillon {
namespace {

void freeLocal(BYTE* data) { LocalFree(data); }
using ManagedLocalBytes = ManagedResource<BYTE*, freeLocal>;

// Machine scope: whoever runs the finishing step (SYSTEM, at the next start) can read what the tool protected
// as the administrator who started it. No UI: nobody may be at the keyboard.
constexpr DWORD kFlags = CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN;

int transform(std::string_view in, std::string& out, bool protect) {
  if (loadSystemLibrary("crypt32.dll") == nullptr) return static_cast<int>(GetLastError());
  DATA_BLOB input = {static_cast<DWORD>(in.size()), reinterpret_cast<BYTE*>(const_cast<char*>(in.data()))};
  DATA_BLOB output = {};
  const BOOL done = protect ? CryptProtectData(&input, L"", nullptr, nullptr, nullptr, kFlags, &output)
                            : CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, kFlags, &output);
  if (!done) {
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int>(error) : ERROR_INVALID_DATA;
  }
  const ManagedLocalBytes held(output.pbData);
  out.assign(reinterpret_cast<const char*>(output.pbData), output.cbData);
  // The plain text is not left behind in memory that LocalFree hands back.
  if (!protect) SecureZeroMemory(output.pbData, output.cbData);
  return 0;
}

}  // namespace

int protectForMachine(std::string_view plain, std::string& protectedBytes) {
  return transform(plain, protectedBytes, true);
}

int unprotectForMachine(std::string_view protectedBytes, std::string& plain) {
  return transform(protectedBytes, plain, false);
}

}  // namespace quillon
