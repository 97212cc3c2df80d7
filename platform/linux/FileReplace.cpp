// Linux body of platform/FileReplace.h: a new file opened with O_EXCL | O_NOFOLLOW, fsync, rename.
#include "platform/FileReplace.h"

#include "platform/PlatformFile.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

int replaceFileWhole(const std::u16string& path, std::string_view bytes, FileUse use) {
  const std::string target = toUtf8(path);
  const std::string fresh = target + ".new";
  mode_t mode = use == FileUse::Program ? 0755 : 0644;
  struct stat info;
  if (lstat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) mode = info.st_mode & 07777;

  if (unlink(fresh.c_str()) != 0 && errno != ENOENT) return errno;
  const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return errno;
  ManagedPlatformFile held(fd);
  int error = 0;
  if (fchmod(fd, mode) != 0) error = errno;  // the mode as asked, whatever the umask
  if (error == 0 && !writePlatformFile(fd, 0, bytes.data(), bytes.size())) error = errno != 0 ? errno : EIO;
  if (error == 0 && fsync(fd) != 0) error = errno;
  held.reset();
  if (error == 0 && rename(fresh.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) unlink(fresh.c_str());
  return error;
}

bool readPlainFile(const std::u16string& path, std::string& bytes, std::uint64_t limit) {
  const int fd = open(toUtf8(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  const ManagedPlatformFile held(fd);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
      static_cast<std::uint64_t>(info.st_size) > limit) {
    return false;
  }
  bytes.assign(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const long long n = readPlatformFile(fd, done, bytes.data() + done, bytes.size() - done);
    if (n < 0) return false;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return true;
}

}  // namespace quillon
