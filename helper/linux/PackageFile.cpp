// Linux body of helper/PackageFile.h. Linux has no share modes: the file is created exclusively, never
// through a link, and at the hold it must still be the very file written (the same inode under the name,
// with no second name) for the caller's reading back to prove anything about what the installer will read.
#include "helper/PackageFile.h"

#include "platform/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

bool PackageFile::openNew() {
  const std::string path = toUtf8(path_);
  // The old file must go: the package would otherwise follow its bytes. One that cannot be removed (a
  // folder, a file in a folder we may not change) fails; a link is removed, not what it points to.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (descriptor < 0) return false;
  *file_.receive() = ::fdopen(descriptor, "ab");
  if (file_.get() == nullptr) {
    ::close(descriptor);
    return false;
  }
  return true;
}

bool PackageFile::truncateWritten() { return ::ftruncate(::fileno(file_.get()), 0) == 0; }

bool PackageFile::holdReadOnly() {
  const int hold = ::open(toUtf8(path_).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (hold < 0) return false;
  hold_.reset(hold);
  struct stat written, held;
  const bool same = ::fstat(::fileno(file_.get()), &written) == 0 && ::fstat(hold, &held) == 0 &&
                    written.st_dev == held.st_dev && written.st_ino == held.st_ino && held.st_nlink == 1;
  return file_.close() == 0 && same;
}

long long PackageFile::readHeld(std::uint64_t offset, char* buffer, std::size_t size) const {
  for (;;) {
    const ssize_t read = ::pread(static_cast<int>(hold_.get()), buffer, size, static_cast<off_t>(offset));
    if (read >= 0 || errno != EINTR) return read;
  }
}

}  // namespace quillon
