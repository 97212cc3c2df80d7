// Windows bodies of platform/Paths.h.
#include "platform/Paths.h"

#include "platform/windows/WindowsSupport.h"

#include <boost/filesystem/operations.hpp>

#include <vector>

namespace quillon {

std::u16string executablePath() {
  // GetModuleFileNameW cuts a path that does not fit and says so only through the returned length, so
  // the buffer grows until the whole path fits: a tool unpacked deep in a folder tree must still find
  // the files beside it.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return fromWide(std::wstring_view(buffer.data(), length));
    if (buffer.size() >= 32768) return {};  // longer than any Windows path can be
    buffer.resize(buffer.size() * 2);
  }
}

boost::filesystem::path temporaryDirectory() {
  boost::system::error_code error;
  const boost::filesystem::path directory = boost::filesystem::temp_directory_path(error);
  return error ? boost::filesystem::path() : directory;
}

boost::filesystem::path toPath(std::u16string_view text) { return boost::filesystem::path(toWide(text)); }

std::u16string pathText(const boost::filesystem::path& path) { return fromWide(path.wstring()); }

}  // namespace quillon
