// Windows body of platform/ReadOnlyFile.h.
#include "platform/ReadOnlyFile.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

ReadOnlyFile::ReadOnlyFile(const boost::filesystem::path& file) {
  const HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  handle_.reset(reinterpret_cast<std::intptr_t>(handle));
  LARGE_INTEGER size;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) return;
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  open_ = true;
}

bool ReadOnlyFile::read(std::uint64_t offset, char* buffer, std::size_t bytes) const {
  if (!open_) return false;
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_.get());
  std::size_t done = 0;
  while (done < bytes) {
    // The offset goes with each read, so no file position is shared between calls.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD read = 0;
    if (!ReadFile(handle, buffer + done, static_cast<DWORD>(bytes - done), &read, &at) || read == 0) return false;
    done += read;
  }
  return true;
}

}  // namespace quillon
