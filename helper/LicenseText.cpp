// Reading the terms of use, License.txt beside the executable.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/UnsharedFile.h"

#include <memory>
#include <new>

using namespace quillon;

bool Helper::readLicenseText(char16_t*& text) {
  text = nullptr;
  std::string bytes;
  if (!readUnsharedFile(getToolDirectory() / toPath(kLicenseFileName), bytes)) return false;

  // The file is UTF-16LE taken as it is: a byte-order mark stays the first character, an odd last byte
  // is dropped, and no other encoding is recognised.
  const std::size_t units = bytes.size() / 2;
  std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[units + 1]);
  if (!buffer) return false;
  for (std::size_t i = 0; i < units; ++i) {
    buffer[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  buffer[units] = 0;
  text = buffer.release();
  return true;
}
