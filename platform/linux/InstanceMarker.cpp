// Linux body of platform/InstanceMarker.h: a lock file with an open-file-description lock on its first
// byte. The kernel drops the lock when the last descriptor of the holding process closes, so a killed
// copy leaves nothing stale behind.
//
// The first copy finds the byte unlocked, takes it exclusively and then turns that into a shared hold in
// one atomic step; a later copy finds it held (its exclusive try fails) and joins the shared hold. So the
// marker stays while any copy holds it, exactly like a named mutex while any handle to it is open.
#include "platform/InstanceMarker.h"

#include "platform/Text.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

// /run/lock is the machine's world-writable lock folder; QUILLON_LOCK_DIR lets tests keep to themselves.
std::string markerDirectory() {
  if (const char* dir = std::getenv("QUILLON_LOCK_DIR"); dir != nullptr && *dir != 0) return dir;
  struct stat info;
  if (stat("/run/lock", &info) == 0 && S_ISDIR(info.st_mode) && access("/run/lock", W_OK) == 0) return "/run/lock";
  return "/tmp";
}

std::string markerPath(const char16_t* name) {
  std::string file = toUtf8(name);
  for (char& c : file) {
    if (c == '\\' || c == '/') c = '-';
  }
  return markerDirectory() + "/" + file + ".lock";
}

int openMarkerFile(const std::string& path) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Open an existing file without O_CREAT: in a sticky shared folder the kernel refuses O_CREAT on a
    // file another user owns (protected_regular), although opening it is allowed.
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      fchmod(fd, 0666);  // every user's copy must be able to lock it, whatever our umask
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool lockFirstByte(int fd, short type, int command) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  return fcntl(fd, command, &lock) == 0;
}

// The handle carries the descriptor plus one, so that descriptor 0 is not mistaken for "no handle".
InstanceHandle handleFromDescriptor(int fd) { return reinterpret_cast<InstanceHandle>(static_cast<std::intptr_t>(fd) + 1); }
int descriptorFromHandle(InstanceHandle handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1); }

}  // namespace

InstanceMarker createInstanceMarker(const char16_t* name) {
  InstanceMarker marker;
  const int fd = openMarkerFile(markerPath(name));
  if (fd < 0) {
    marker.error = errno;
    return marker;
  }
  if (lockFirstByte(fd, F_WRLCK, F_OFD_SETLK)) {
    lockFirstByte(fd, F_RDLCK, F_OFD_SETLK);  // atomic conversion: no moment without a hold
    marker.existed = false;
  } else if (errno == EAGAIN || errno == EACCES) {
    // Held by another copy: join its shared hold. A first copy holds the byte exclusively only for the
    // instant of its conversion, so a few short retries cover that; a byte held exclusively for longer
    // (by some other program) still means "not the first", and must never make the tool wait for ever.
    bool joined = false;
    for (int attempt = 0; attempt < 100 && !joined; ++attempt) {
      joined = lockFirstByte(fd, F_RDLCK, F_OFD_SETLK);
      if (!joined && errno != EAGAIN && errno != EACCES) {
        marker.error = errno;
        close(fd);
        return marker;
      }
      if (!joined) usleep(10 * 1000);
    }
    marker.existed = true;
  } else {
    marker.error = errno;
    close(fd);
    return marker;
  }
  marker.handle = handleFromDescriptor(fd);
  return marker;
}

void closeInstanceHandle(InstanceHandle handle) {
  if (handle != nullptr) close(descriptorFromHandle(handle));
}

bool isMutexHeldElsewhere(const char16_t* name) {
  struct stat info;
  return lstat(markerPath(name).c_str(), &info) == 0;
}

}  // namespace quillon
