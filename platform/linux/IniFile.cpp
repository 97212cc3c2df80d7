#include "platform/linux/IniFile.h"

#include "platform/Text.h"

namespace quillon {
namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r' || c == 0x1A; }

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string decodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    text += static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return text;
}

}  // namespace

std::u16string decodeIniText(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return decodeUtf16(bytes.substr(2), false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return decodeUtf16(bytes.substr(2), true);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return fromUtf8(bytes);
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

}  // namespace quillon
