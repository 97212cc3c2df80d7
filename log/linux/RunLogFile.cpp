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

struct RunLogFile::Stream {
  int fd;
};

std::u16string runLogPath() { return pathText(temporaryDirectory() / "QuillonMigrationTool.log"); }

LogTime currentLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  return LogTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

RunLogFile::RunLogFile() {
  const std::string path = toUtf8(runLogPath());
  // No symlinks: in a shared /tmp another user could point the name at a file of theirs or of the system.
  // O_NONBLOCK keeps a FIFO planted at the name from blocking the open; it changes nothing for a file.
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) return;
  struct stat info;
  // A file without any write permission stands for the Windows read-only attribute, which binds even an
  // administrator; and the lock keeps the file to ourselves against every program that locks it too.
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 ||
      flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return;
  }
  stream_.reset(new Stream{fd});
}

RunLogFile::~RunLogFile() {
  if (stream_) close(stream_->fd);
}

void RunLogFile::append(std::u16string_view entry) {
  if (!stream_) return;
  std::string bytes;
  bytes.reserve(entry.size() * 2 + 8);
  struct stat info;
  if (fstat(stream_->fd, &info) == 0 && info.st_size == 0) bytes += "\xFF\xFE";
  const auto put = [&bytes](char16_t unit) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  };
  for (const char16_t unit : entry) {
    if (unit == u'\n') put(u'\r');
    put(unit);
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(stream_->fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a failed write is not examined: the entry is simply lost
    written += static_cast<std::size_t>(n);
  }
}

}  // namespace quillon
