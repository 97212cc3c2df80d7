// Linux body of log/RunLogFile.h: the same bytes as the Windows build writes, in TMPDIR (else /tmp).
#include "log/RunLogFile.h"

#include "platform/Paths.h"
#include "platform/Text.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

// O_NOFOLLOW: a symbolic link is not opened; O_NONBLOCK keeps a FIFO planted at the name from blocking the
// open (it changes nothing for a file).
constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

// The log of this name, never one reached through a link: a symbolic link at the name, or a file with
// other names too, is removed and the log begins anew. -1 when it cannot be opened.
int openOwnLog(const std::string& path) {
  int fd = open(path.c_str(), kOpenFlags | O_CREAT, 0644);
  struct stat info;
  const bool linked = fd < 0 ? errno == ELOOP : fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink > 1;
  if (!linked) return fd;
  if (fd >= 0) close(fd);
  if (unlink(path.c_str()) != 0) return -1;
  return open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0644);
}

}  // namespace

std::u16string runLogPath() { return pathText(temporaryDirectory() / toPath(runLogFileName())); }

LogTime currentLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  return LogTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

RunLogFile::RunLogFile() {
  const int fd = openOwnLog(toUtf8(runLogPath()));
  if (fd < 0) return;
  struct stat info;
  // A file without any write permission stands for the Windows read-only attribute, which binds even an
  // administrator; and the lock keeps the file to ourselves against every program that locks it too.
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 ||
      flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return;
  }
  handle_.reset(fd);
}

bool RunLogFile::isEmpty() const {
  struct stat info;
  return fstat(static_cast<int>(handle_.get()), &info) == 0 && info.st_size == 0;
}

void RunLogFile::write(const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(static_cast<int>(handle_.get()), bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
}

}  // namespace quillon
