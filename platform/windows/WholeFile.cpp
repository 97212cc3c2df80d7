// Windows body of platform/WholeFile.h.
#include "platform/WholeFile.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

bool readWholeFile(const boost::filesystem::path& file, std::string& bytes, Sharing sharing, std::uint64_t limit) {
  // Unshared is share mode 0: it fails while another program has the file open, and keeps others out while
  // we read.
  const DWORD share = sharing == Sharing::Shared ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  const ManagedKernelHandle handle(CreateFileW(file.wstring().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > limit) {
    return false;
  }
  bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    if (!ReadFile(handle.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
      return false;
    }
    if (read == 0) break;  // the file ended early: keep what is there
    done += read;
  }
  bytes.resize(done);
  return true;
}

}  // namespace quillon
