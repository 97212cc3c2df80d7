// Windows body of platform/InstanceMarker.h: a named mutex, used only as a marker (never owned or waited on).
#include "platform/InstanceMarker.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

InstanceMarker createInstanceMarker(const char16_t* name) {
  // A present but null DACL lets a copy run by any user open the mutex another user's copy created.
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);

  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = &descriptor;
  attributes.bInheritHandle = TRUE;  // harmless: no child of the tool is started with inheritance

  InstanceMarker marker;
  marker.handle = CreateMutexW(&attributes, FALSE, asWide(name));
  const DWORD error = GetLastError();
  if (marker.handle != nullptr) {
    marker.existed = error == ERROR_ALREADY_EXISTS;
  } else {
    marker.error = static_cast<int>(error);
  }
  return marker;
}

void closeInstanceHandle(InstanceHandle handle) {
  if (handle != nullptr) CloseHandle(handle);
}

}  // namespace quillon
