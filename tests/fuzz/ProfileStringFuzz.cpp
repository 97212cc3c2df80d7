// The settings-file read as the tool makes it: any bytes as Auth.ini, read through the platform's profile
// reader into buffers of exactly the given capacity (so that AddressSanitizer sees every unit past them).
// The value is terminated, within the capacity, without a NUL of its own, and a smaller buffer holds the
// start of what a larger one holds.
#include "platform/ProfileString.h"
#include "tests/fuzz/FuzzInput.h"

#include <boost/filesystem/operations.hpp>

#include <memory>
#include <unistd.h>

using namespace quillon;
using namespace quillon::fuzz;

namespace {

const boost::filesystem::path& iniFile() {
  static const boost::filesystem::path file = [] {
    boost::filesystem::path path = boost::filesystem::temp_directory_path() /
                                   ("quillon-fuzz-" + std::to_string(getpid()) + "-Auth.ini");
    std::atexit([] { boost::filesystem::remove(iniFile()); });
    return path;
  }();
  return file;
}

std::u16string read(const char16_t* key, std::size_t capacity) {
  const std::unique_ptr<char16_t[]> buffer(new char16_t[capacity]);
  const std::size_t copied = readProfileString(u"CERT", key, buffer.get(), capacity, iniFile());
  check(copied < capacity, "the value fits its buffer with the terminator");
  check(buffer[copied] == 0, "the value is terminated");
  const std::u16string value(buffer.get(), copied);
  check(value.find(u'\0') == std::u16string::npos, "the count is the value's length");
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(iniFile().c_str(), "wb");
  if (file == nullptr) fail("the settings file cannot be written");
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) fail("the settings file cannot be written");

  const std::size_t smallCapacity = 1 + size % 8;
  for (const char16_t* key : {u"CompanyName", u"CompanyCode", u"CertCode"}) {
    const std::u16string value = read(key, 260);
    const std::u16string start = read(key, smallCapacity);
    check(value.compare(0, start.size(), start) == 0, "a smaller buffer holds the start of the value", value);
    check(start.size() + 1 >= std::min(value.size(), smallCapacity - 1), "a smaller buffer is filled", value);
  }
  check(readProfileString(u"CERT", u"CompanyName", nullptr, 0, iniFile()) == 0, "no buffer, nothing copied");
  return 0;
}
