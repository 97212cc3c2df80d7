// Linux body of helper/PackageFile.h. Linux has no share modes: the file is created exclusively, never
// through a link, and watched from then on. At the hold it must be untouched by others (no other program
// opened, linked, renamed or removed it: any of these shows on the watch; a cut by the name, which does
// not, leaves a hole or the wrong length) and still the very file written (the same inode under the name,
// with no second name), for the reading back to prove anything about what the installer will read. The descriptor that wrote it is the hold: without share modes a read-only one
// would keep nobody out either.
#include "helper/PackageFile.h"

#include "platform/Text.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

// What another program does to the file that the watch reports. The tool's own writes and reads (through
// the one descriptor) show only as modifications and accesses, which are not watched.
constexpr std::uint32_t kOthersTouch = IN_OPEN | IN_CLOSE | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF;

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

bool PackageFile::openNew() {
  const std::string path = toUtf8(path_);
  // The old file must go: the package would otherwise follow its bytes. One that cannot be removed (a
  // folder, a file in a folder we may not change) fails; a link is removed, not what it points to.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (descriptor < 0) return false;
  file_.reset(descriptor);
  // The watch goes on the descriptor's own file (through /proc), not on whatever the name leads to by now.
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch < 0) return false;
  watch_.reset(watch);
  const std::string own = "/proc/self/fd/" + std::to_string(descriptor);
  return ::inotify_add_watch(watch, own.c_str(), kOthersTouch) >= 0;
}

bool PackageFile::truncateWritten() { return ::ftruncate(static_cast<int>(file_.get()), 0) == 0; }

bool PackageFile::holdReadOnly(std::uint64_t size) {
  // Any event at all is another program's doing; a watch that overflowed has seen some.
  char event[sizeof(inotify_event) + NAME_MAX + 1];
  const bool untouched = ::read(static_cast<int>(watch_.get()), event, sizeof(event)) < 0 && errno == EAGAIN;
  watch_.reset();
  struct stat written, named;
  const bool same = ::fstat(static_cast<int>(file_.get()), &written) == 0 &&
                    ::lstat(toUtf8(path_).c_str(), &named) == 0 && sameFile(written, named) &&
                    written.st_nlink == 1 && static_cast<std::uint64_t>(written.st_size) == size &&
                    // The writing leaves no hole: one shows a cut by the name (which the watch does not see)
                    // that the writing went on past.
                    (size == 0 || ::lseek(static_cast<int>(file_.get()), 0, SEEK_HOLE) == written.st_size);
  hold_.reset(file_.release());
  return untouched && same;
}

void PackageFile::removeOwn() {
  watch_.reset();
  ManagedPlatformFile own(file_.get() != -1 ? file_.release() : hold_.release());
  if (own.get() == -1) return;
  // Removed only while it is held and still the file under the name: never a file put there since.
  struct stat held, named;
  const std::string path = toUtf8(path_);
  if (::fstat(static_cast<int>(own.get()), &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
      sameFile(held, named)) {
    ::unlink(path.c_str());
  }
}

}  // namespace quillon
