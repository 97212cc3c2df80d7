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

bool isMutexHeldElsewhere(const char16_t* name) {
  // No such mutex, or one this process may not even wait for: nothing known to wait for.
  const ManagedKernelHandle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, asWide(name)));
  if (mutex.get() == nullptr) return false;
  // Free when it can be taken at once; then it is let go again in the same instant.
  const DWORD taken = WaitForSingleObject(mutex.get(), 0);
  if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
    ReleaseMutex(mutex.get());
    return false;
  }
  return taken == WAIT_TIMEOUT;
}

}  // namespace quillon
