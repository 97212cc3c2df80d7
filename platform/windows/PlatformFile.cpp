// Windows body of platform/PlatformFile.h.
#include "platform/PlatformFile.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

void closePlatformFile(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace quillon
