#include "tests/unit/support/TestSupport.h"

#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

TempDirectory::TempDirectory() {
  path_ = fs::temp_directory_path() / fs::unique_path("quillon-test-%%%%-%%%%-%%%%");
  fs::create_directories(path_);
}

TempDirectory::~TempDirectory() {
  boost::system::error_code ignored;
  fs::remove_all(path_, ignored);
}

ScopedTempEnvironment::ScopedTempEnvironment(const fs::path& directory)
    : tmpdir_("TMPDIR", directory.string()), tmp_("TMP", directory.string()), temp_("TEMP", directory.string()) {}

std::string readBytes(const fs::path& file) {
  std::ifstream stream(file.string(), std::ios::binary);
  if (!stream) throw std::runtime_error("cannot read " + file.string());
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream stream(file.string(), std::ios::binary | std::ios::trunc);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!stream) throw std::runtime_error("cannot write " + file.string());
}

std::u16string runLogText() {
  const fs::path file = quillon::toPath(quillon::runLogPath());
  if (!fs::exists(file)) return {};
  const std::string bytes = readBytes(file);
  return quillon::fromUtf16le(std::string_view(bytes).substr(std::min<std::size_t>(2, bytes.size())));
}

std::vector<std::u16string> runLogEntries() {
  const std::u16string text = runLogText();
  constexpr std::size_t kStampLength = 20;  // "2024/05/07 09:03:01 "
  std::vector<std::u16string> entries;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    entries.push_back(text.substr(std::min(start + kStampLength, end), end - std::min(start + kStampLength, end)));
    start = end + 2;
  }
  return entries;
}

fs::path testProgram() { return quillon::toPath(quillon::executablePath()); }

void writeRegistryFile(const fs::path& file, const std::u16string& body) {
  writeBytes(file, "\xFF\xFE" + quillon::toUtf16le(u"Windows Registry Editor Version 5.00\r\n\r\n" + body));
}

void writeAgentRegistryFile(const fs::path& file, const std::u16string& body) {
  writeRegistryFile(file, u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n\r\n" + body);
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) : ChildProcess(testProgram(), arguments) {}

}  // namespace testing_support
