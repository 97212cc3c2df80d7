// Linux body of platform/DurableFile.h: the new file is made beside the old one with O_EXCL | O_NOFOLLOW and
// mode 0600, fsync'd, renamed over the old name (rename replaces a link at that name rather than following
// it), and the folder is fsync'd so that the rename itself is on the disk.
#include "platform/DurableFile.h"

#include "platform/PlatformFile.h"
#include "platform/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

struct Location {
  std::string folder;  // "." when the path names none
  std::string name;
};

Location split(const std::u16string& path) {
  const std::string text = toUtf8(path);
  const std::size_t slash = text.rfind('/');
  if (slash == std::string::npos) return {".", text};
  return {slash == 0 ? "/" : text.substr(0, slash), text.substr(slash + 1)};
}

// Some file systems cannot sync a folder and say so with EINVAL; their renames are as durable as they get.
int syncFolder(int folder) { return fsync(folder) == 0 || errno == EINVAL ? 0 : errno; }

}  // namespace

int replaceFileDurably(const std::u16string& path, std::string_view bytes) {
  const Location location = split(path);
  if (location.name.empty()) return EISDIR;
  const ManagedPlatformFile folder(open(location.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() == -1) return errno;
  const int at = static_cast<int>(folder.get());
  const std::string newName = location.name + ".new";
  // What a replacement cut short may have left (a file, or whatever else was put there): the entry itself
  // goes, never what a link at that name points to.
  if (unlinkat(at, newName.c_str(), 0) != 0 && errno != ENOENT) return errno;
  const ManagedPlatformFile file(
      openat(at, newName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (file.get() == -1) return errno;
  int error = 0;
  errno = 0;
  // The mode given to openat passes through the umask, which can only take rights away; fchmod makes it
  // exactly 0600 all the same.
  if (fchmod(static_cast<int>(file.get()), S_IRUSR | S_IWUSR) != 0 ||
      !writePlatformFile(file.get(), 0, bytes.data(), bytes.size()) || fsync(static_cast<int>(file.get())) != 0) {
    error = errno != 0 ? errno : EIO;
  } else if (renameat(at, newName.c_str(), at, location.name.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    unlinkat(at, newName.c_str(), 0);
    return error;
  }
  return syncFolder(at);
}

int removeFileDurably(const std::u16string& path) {
  const Location location = split(path);
  const ManagedPlatformFile folder(open(location.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() == -1) return errno == ENOENT ? 0 : errno;
  const int at = static_cast<int>(folder.get());
  if (unlinkat(at, location.name.c_str(), 0) != 0) return errno == ENOENT ? 0 : errno;
  return syncFolder(at);
}

}  // namespace quillon
