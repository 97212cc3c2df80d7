// Linux bodies of platform/Paths.h.
#include "platform/Paths.h"

#include "platform/Text.h"

#include <cstdlib>
#include <unistd.h>

#include <vector>

namespace quillon {

std::u16string executablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) return fromUtf8(std::string_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

boost::filesystem::path temporaryDirectory() {
  std::string directory = "/tmp";
  if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && *tmpdir != 0) directory = tmpdir;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

boost::filesystem::path toPath(std::u16string_view text) { return boost::filesystem::path(toUtf8(text)); }

std::u16string pathText(const boost::filesystem::path& path) { return fromUtf8(path.string()); }

}  // namespace quillon
