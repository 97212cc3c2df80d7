// The container check of a downloaded package, on any bytes: it reads only within the file, a bounded
// number of sectors whatever the header claims, and passes nothing without the signature.
#include "helper/CompoundFile.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstring>

using namespace quillon;
using namespace quillon::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file = bytesOf(data, size);
  std::size_t reads = 0;
  bool outside = false;
  const bool whole = isCompleteCompoundFile(size, [&](std::uint64_t offset, char* buffer, std::size_t bytes) {
    ++reads;
    if (offset > size || bytes > size - offset) {
      outside = true;
      return false;
    }
    std::memcpy(buffer, file.data() + offset, bytes);
    return true;
  });
  check(!outside, "a read past the end of the file", u"");
  // The header, then at most twice the file's sectors of the smallest size.
  check(reads <= 1 + 2 * (size / 512 + 1), "more reads than the file has sectors", u"");
  if (whole) check(file.substr(0, 8) == "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", "passed without the signature", u"");
  return 0;
}
