// Linux body of platform/ProfileString.h: our own reader with the Windows rules (platform/linux/IniFile).
#include "platform/ProfileString.h"

#include "platform/Text.h"
#include "platform/linux/IniFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

// The whole file, or nothing when it is missing, not a regular file, or cannot be read.
bool readWholeFile(const boost::filesystem::path& file, std::string& bytes) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  char chunk[65536];
  while (ok) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}

}  // namespace

std::size_t readProfileString(const char16_t* section, const char16_t* key, char16_t* buffer,
                              std::size_t capacity, const boost::filesystem::path& file) {
  if (capacity == 0) return 0;
  buffer[0] = 0;
  std::string bytes;
  if (!readWholeFile(file, bytes)) return 0;
  // A value ends at a NUL in the file, as the Windows reader's text does; what follows it is not part of it.
  const std::u16string value = findIniValue(decodeIniText(bytes), section, key);
  return copyText(buffer, capacity, std::u16string_view(value).substr(0, value.find(u'\0')));
}

}  // namespace quillon
