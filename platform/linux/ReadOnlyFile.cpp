// Linux body of platform/ReadOnlyFile.h.
#include "platform/ReadOnlyFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

ReadOnlyFile::ReadOnlyFile(const boost::filesystem::path& file) {
  // O_NONBLOCK: opening a named pipe put where the file belongs must not wait for a writer.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  handle_.reset(fd);
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
  size_ = static_cast<std::uint64_t>(info.st_size);
  open_ = true;
}

bool ReadOnlyFile::read(std::uint64_t offset, char* buffer, std::size_t bytes) const {
  if (!open_) return false;
  std::size_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::pread(static_cast<int>(handle_.get()), buffer + done, bytes - done,
                              static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace quillon
