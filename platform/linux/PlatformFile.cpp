// Linux body of platform/PlatformFile.h.
#include "platform/PlatformFile.h"

#include <unistd.h>

namespace quillon {

void closePlatformFile(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

}  // namespace quillon
