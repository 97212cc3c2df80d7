#include "platform/Text.h"

#include <cstdint>

namespace quillon {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at text[i] into cp, advancing i; false, with cp U+FFFD, for a malformed one
// (overlong forms, surrogates and values past U+10FFFF count as malformed, as a strict decoder must have it).
bool decodeUtf8(std::string_view text, std::size_t& i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  int extra = 0;
  char32_t minimum = 0;
  cp = kReplacement;
  if (lead < 0x80) {
    ++i;
    cp = lead;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, minimum = 0x10000;
  } else {
    ++i;
    return false;
  }
  char32_t value = lead & (0x3F >> extra);
  std::size_t k = i + 1;
  for (int n = 0; n < extra; ++n, ++k) {
    if (k >= text.size() || (byte(k) & 0xC0) != 0x80) {
      i = k;
      return false;
    }
    value = (value << 6) | (byte(k) & 0x3F);
  }
  i = k;
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  cp = value;
  return true;
}

std::u16string fromUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    text += static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return text;
}

void appendNumber(std::u16string& out, long long value, bool zeroPad, std::size_t width) {
  const bool negative = value < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                          : static_cast<unsigned long long>(value);
  char16_t digits[24];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  const std::size_t length = count + (negative ? 1 : 0);
  const std::size_t padding = width > length ? width - length : 0;
  if (!zeroPad) out.append(padding, u' ');
  if (negative) out += u'-';
  if (zeroPad) out.append(padding, u'0');
  while (count > 0) out += digits[--count];
}

}  // namespace

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      appendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    decodeUtf8(text, i, cp);
    appendUtf16(out, cp);
  }
  return out;
}

std::string toUtf16le(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::u16string fromUtf16le(std::string_view bytes) { return fromUtf16(bytes, false); }
std::u16string fromUtf16be(std::string_view bytes) { return fromUtf16(bytes, true); }

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp;
    if (!decodeUtf8(text, i, cp)) return false;
  }
  return true;
}

std::size_t cutLength(std::u16string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t n = limit;
  // Cutting between the two halves of a pair would leave a lone surrogate behind.
  if (n > 0 && isHighSurrogate(text[n - 1]) && isLowSurrogate(text[n])) --n;
  return n;
}

std::size_t copyText(char16_t* buffer, std::size_t capacity, std::u16string_view text) {
  if (capacity == 0) return 0;
  const std::size_t n = cutLength(text, capacity - 1);
  text.copy(buffer, n);
  buffer[n] = 0;
  return n;
}

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::u16string_view trimBlanks(std::u16string_view text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string formatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::u16string out;
  out.reserve(format.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != u'%') {
      out += format[i];
      continue;
    }
    std::size_t k = i + 1;
    if (k < format.size() && format[k] == u'%') {
      out += u'%';
      i = k;
      continue;
    }
    const bool zeroPad = k < format.size() && format[k] == u'0';
    if (zeroPad) ++k;
    std::size_t width = 0;
    while (k < format.size() && format[k] >= u'0' && format[k] <= u'9') width = width * 10 + (format[k++] - u'0');
    if (k >= format.size()) break;
    const char16_t conversion = format[k];
    i = k;
    if (next == args.end()) continue;
    const FormatArg& arg = *next++;
    if (conversion == u's' && arg.isText()) {
      out += arg.text();
    } else if ((conversion == u'd' || conversion == u'u') && !arg.isText()) {
      appendNumber(out, arg.number(), zeroPad, width);
    }
  }
  return out;
}

}  // namespace quillon
