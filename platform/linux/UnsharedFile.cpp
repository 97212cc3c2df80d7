// Linux body of platform/UnsharedFile.h.
#include "platform/UnsharedFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

bool readUnsharedFile(const boost::filesystem::path& file, std::string& bytes) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<std::uint64_t>(info.st_size) <= kUnsharedFileLimit && flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (ok) bytes.assign(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  bytes.resize(done);
  return ok;
}

}  // namespace quillon
