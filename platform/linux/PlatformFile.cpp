// Linux body of platform/PlatformFile.h.
#include "platform/PlatformFile.h"

#include <cerrno>
#include <unistd.h>

namespace quillon {

void closePlatformFile(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

bool writePlatformFile(std::intptr_t handle, std::uint64_t offset, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::pwrite(static_cast<int>(handle), data, size, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

long long readPlatformFile(std::intptr_t handle, std::uint64_t offset, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t read = ::pread(static_cast<int>(handle), buffer, size, static_cast<off_t>(offset));
    if (read >= 0 || errno != EINTR) return read;
  }
}

}  // namespace quillon
