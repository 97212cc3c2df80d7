#include "platform/IniFile.h"

#include "platform/Text.h"

#include <algorithm>

namespace quillon {
namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r' || c == 0x1A; }

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

IniEncoding detectIniEncoding(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return IniEncoding::Utf16LittleEndian;
  if (bytes.substr(0, 2) == "\xFE\xFF") return IniEncoding::Utf16BigEndian;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return IniEncoding::Utf8;
  // Pure ASCII reads the same either way; an ANSI file with Japanese text is almost never well-formed UTF-8.
  const bool beyondAscii =
      std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  return beyondAscii && isValidUtf8(bytes) ? IniEncoding::Utf8 : IniEncoding::Ansi;
}

std::u16string decodeUnicodeIniText(std::string_view bytes, IniEncoding encoding) {
  switch (encoding) {
    case IniEncoding::Utf16LittleEndian:
      return fromUtf16le(bytes.substr(2));
    case IniEncoding::Utf16BigEndian:
      return fromUtf16be(bytes.substr(2));
    default:
      if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
      return fromUtf8(bytes);
  }
}

std::u16string findIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key) {
  bool inSection = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    // A line ends at CR or LF, as Windows' reader has it; the empty line between CR and LF is skipped.
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = trim(text.substr(start, end - start));
    start = end + 1;

    if (!line.empty() && line.front() == u'[') {
      const std::size_t close = line.rfind(u']');
      if (close == std::u16string_view::npos || close == 0) continue;
      if (inSection) return {};  // only the first section of the name counts
      inSection = equalsIgnoringAsciiCase(line.substr(1, close - 1), section);
      continue;
    }
    if (!inSection) continue;

    // A line without "=" names a key with no value; as the first line of its key it still wins.
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) {
      if (equalsIgnoringAsciiCase(line, key)) return {};
      continue;
    }
    if (!equalsIgnoringAsciiCase(trim(line.substr(0, equals)), key)) continue;

    std::u16string_view value = trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::u16string(value);
  }
  return {};
}

std::size_t copyIniValue(std::u16string_view text, const char16_t* section, const char16_t* key, char16_t* buffer,
                         std::size_t capacity) {
  const std::u16string value = findIniValue(text, section, key);
  return copyText(buffer, capacity, std::u16string_view(value).substr(0, value.find(u'\0')));
}

}  // namespace quillon
