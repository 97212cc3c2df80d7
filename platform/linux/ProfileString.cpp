// Linux body of platform/ProfileString.h: our own reader with the Windows rules (platform/IniFile), and
// code page 932 standing in for the ANSI code page.
#include "platform/ProfileString.h"

#include "platform/IniFile.h"
#include "platform/ManagedResource.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

#include <cerrno>
#include <iconv.h>
#include <string>

namespace quillon {
namespace {

// An iconv conversion, closed at the end of the scope. iconv_open reports a failure as (iconv_t)-1, which
// needs no closing.
const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);
void closeConversion(iconv_t conversion) {
  if (conversion != kNoConversion) iconv_close(conversion);
}
using ManagedIconv = ManagedResource<iconv_t, closeConversion>;

// A file without a byte-order mark that is not UTF-8, in the ANSI code page of the Japanese Windows the tool
// is made for (932, Shift-JIS with Microsoft's additions), as the Windows build reads it there. A byte that
// is no character of it becomes U+FFFD; where the C library lacks the code page, every such byte does.
std::u16string decodeAnsi(std::string_view bytes) {
  std::u16string text;
  const ManagedIconv convert(iconv_open("UTF-16LE", "CP932"));
  const bool converting = convert.get() != kNoConversion;
  char* in = const_cast<char*>(bytes.data());  // iconv's interface; it does not write the input
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char chunk[8192];
    char* out = chunk;
    std::size_t outLeft = sizeof chunk;
    const bool stopped =
        !converting || iconv(convert.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1);
    const bool chunkFull = stopped && converting && errno == E2BIG;
    text += fromUtf16le(std::string_view(chunk, static_cast<std::size_t>(out - chunk)));
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
  if (!readWholeFile(file, bytes, Sharing::Shared)) return 0;
  const IniEncoding encoding = detectIniEncoding(bytes);
  const std::u16string text =
      encoding == IniEncoding::Ansi ? decodeAnsi(bytes) : decodeUnicodeIniText(bytes, encoding);
  return copyIniValue(text, section, key, buffer, capacity);
}

}  // namespace quillon
