// Linux body of platform/ProfileString.h: our own reader with the Windows rules (platform/IniFile), and
// code page 932 standing in for the ANSI code page.
#include "platform/ProfileString.h"

#include "platform/IniFile.h"

#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
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

// An iconv conversion, closed at the end of the scope.
class ManagedIconv {
 public:
  ManagedIconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~ManagedIconv() {
    if (isOpen()) iconv_close(handle_);
  }
  ManagedIconv(const ManagedIconv&) = delete;
  ManagedIconv& operator=(const ManagedIconv&) = delete;

  bool isOpen() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// A file without a byte-order mark that is not UTF-8, in the ANSI code page of the Japanese Windows the tool
// is made for (932, Shift-JIS with Microsoft's additions), as the Windows build reads it there. A byte that
// is no character of it becomes U+FFFD; where the C library lacks the code page, every such byte does.
std::u16string decodeAnsi(std::string_view bytes) {
  std::u16string text;
  const ManagedIconv convert("UTF-16LE", "CP932");
  char* in = const_cast<char*>(bytes.data());  // iconv's interface; it does not write the input
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char chunk[8192];
    char* out = chunk;
    std::size_t outLeft = sizeof chunk;
    const bool stopped =
        !convert.isOpen() || iconv(convert.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1);
    const bool chunkFull = stopped && convert.isOpen() && errno == E2BIG;
    for (const char* unit = chunk; unit + 1 < out; unit += 2) {
      text += static_cast<char16_t>(static_cast<unsigned char>(unit[0]) | static_cast<unsigned char>(unit[1]) << 8);
    }
    if (stopped && !chunkFull) {  // an invalid or cut-off sequence: one replacement, then on with the next byte
      text += u'\uFFFD';
      ++in;
      --inLeft;
    }
  }
  return text;
}

}  // namespace

std::size_t readProfileString(const char16_t* section, const char16_t* key, char16_t* buffer,
                              std::size_t capacity, const boost::filesystem::path& file) {
  if (capacity == 0) return 0;
  buffer[0] = 0;
  std::string bytes;
  if (!readWholeFile(file, bytes)) return 0;
  const IniEncoding encoding = detectIniEncoding(bytes);
  const std::u16string text =
      encoding == IniEncoding::Ansi ? decodeAnsi(bytes) : decodeUnicodeIniText(bytes, encoding);
  return copyIniValue(text, section, key, buffer, capacity);
}

}  // namespace quillon
