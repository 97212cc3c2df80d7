// Reading the terms of use, License.txt beside the executable.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

#include <memory>
#include <new>
#include <string>

using namespace quillon;

bool Helper::readLicenseText(char16_t*& text) {
  text = nullptr;
  std::string bytes;
  if (!readWholeFile(getToolDirectory() / toPath(kLicenseFileName), bytes, Sharing::Unshared)) return false;

  // The file is UTF-16LE taken as it is: a byte-order mark stays the first character, an odd last byte
  // is dropped, and no other encoding is recognised. Memory running out fails the read, as a file that
  // cannot be read does.
  std::u16string terms;
  try {
    terms = fromUtf16le(bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[terms.size() + 1]);
  if (!buffer) return false;
  terms.copy(buffer.get(), terms.size());
  buffer[terms.size()] = 0;
  text = buffer.release();
  return true;
}
