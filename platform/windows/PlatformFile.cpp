// Windows body of platform/PlatformFile.h.
#include "platform/PlatformFile.h"

#include "platform/windows/WindowsSupport.h"

#include <algorithm>

namespace quillon {

namespace {

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

constexpr std::size_t kLargestCall = 1u << 30;  // a DWORD's worth, in round numbers

}  // namespace

void closePlatformFile(std::intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

bool writePlatformFile(std::intptr_t handle, std::uint64_t offset, const char* data, std::size_t size) {
  while (size > 0) {
    OVERLAPPED position = at(offset);
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle), data, static_cast<DWORD>(std::min(size, kLargestCall)), &written,
                   &position) ||
        written == 0) {
      return false;
    }
    data += written;
    size -= written;
    offset += written;
  }
  return true;
}

long long readPlatformFile(std::intptr_t handle, std::uint64_t offset, char* buffer, std::size_t size) {
  OVERLAPPED position = at(offset);
  DWORD read = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle), buffer, static_cast<DWORD>(std::min(size, kLargestCall)), &read,
                &position)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return read;
}

}  // namespace quillon
