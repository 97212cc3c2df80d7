// Linux body of platform/WholeFile.h.
#include "platform/WholeFile.h"

#include "platform/PlatformFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

bool readWholeFile(const boost::filesystem::path& file, std::string& bytes, Sharing sharing, std::uint64_t limit) {
  // O_NONBLOCK: opening a named pipe put where the file belongs must not wait for a writer.
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  const ManagedPlatformFile held(fd);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > limit) {
    return false;
  }
  if (sharing == Sharing::Unshared && flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  bytes.assign(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;  // the file ended early: keep what is there
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return true;
}

}  // namespace quillon
