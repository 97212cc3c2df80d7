#include "platform/linux/RegistryFile.h"

#include "platform/Registry.h"
#include "platform/Text.h"

#include <optional>
#include <vector>

namespace quillon {
namespace {

struct Line {
  std::u16string text;
  std::size_t number;
};

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimLeft(std::u16string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::u16string_view trim(std::u16string_view s) {
  s = trimLeft(s);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// 1 to maxDigits hex digits, the whole text.
std::optional<std::uint32_t> parseHex(std::u16string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  std::uint32_t value = 0;
  for (const char16_t c : text) {
    const int digit = hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

// The text of the file, or nothing when its encoding is broken.
std::optional<std::u16string> decode(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    bytes.remove_prefix(2);
    if (bytes.size() % 2 != 0) return std::nullopt;
    return fromUtf16le(bytes);
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::u16string text = fromUtf8(bytes);
  // fromUtf8 never fails; a file whose bytes do not come back unchanged was not UTF-8.
  if (toUtf8(text) != bytes) return std::nullopt;
  return text;
}

// Reads a quoted text with regedit's escapes from the start of `s` (which begins with the quote) and
// returns it; `s` is left after the closing quote. Nothing when it is not closed or has another escape.
std::optional<std::u16string> takeQuoted(std::u16string_view& s) {
  std::u16string text;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'"') {
      s.remove_prefix(i + 1);
      return text;
    }
    if (c == u'\\') {
      if (i + 1 >= s.size() || (s[i + 1] != u'\\' && s[i + 1] != u'"')) return std::nullopt;
      text += s[++i];
      continue;
    }
    text += c;
  }
  return std::nullopt;
}

// Comma-separated hex bytes, such as "41,00,42,00"; an empty list is zero bytes.
std::optional<std::string> parseHexBytes(std::u16string_view list) {
  std::string bytes;
  list = trim(list);
  if (list.empty()) return bytes;
  for (;;) {
    const std::size_t comma = list.find(u',');
    const std::optional<std::uint32_t> byte = parseHex(trim(list.substr(0, comma)), 2);
    if (!byte) return std::nullopt;
    bytes += static_cast<char>(*byte);
    if (comma == std::u16string_view::npos) return bytes;
    list.remove_prefix(comma + 1);
  }
}

// The data after "=": a value, or nothing for a deletion ("-"). False when malformed.
bool parseData(std::u16string_view data, std::optional<RegistryValueData>& value) {
  value.reset();
  if (data == u"-") return true;
  if (!data.empty() && data.front() == u'"') {
    const std::optional<std::u16string> text = takeQuoted(data);
    if (!text || !trim(data).empty()) return false;
    value = RegistryValueData{kRegSz, toUtf16le(*text) + std::string(2, '\0')};
    return true;
  }
  if (data.substr(0, 6) == u"dword:") {
    const std::optional<std::uint32_t> number = parseHex(trim(data.substr(6)), 8);
    if (!number) return false;
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(*number >> shift & 0xFF);
    value = RegistryValueData{kRegDword, bytes};
    return true;
  }
  std::uint32_t type = kRegBinary;
  if (data.substr(0, 4) == u"hex:") {
    data.remove_prefix(4);
  } else if (data.substr(0, 4) == u"hex(") {
    const std::size_t close = data.find(u"):");
    if (close == std::u16string_view::npos) return false;
    const std::optional<std::uint32_t> number = parseHex(data.substr(4, close - 4), 8);
    if (!number) return false;
    type = *number;
    data.remove_prefix(close + 2);
  } else {
    return false;
  }
  const std::optional<std::string> bytes = parseHexBytes(data);
  if (!bytes) return false;
  value = RegistryValueData{type, *bytes};
  return true;
}

// Only a value line whose data is hex bytes continues after a trailing backslash: not a comment, and not
// a text that merely contains "=hex" in its name or data.
bool isHexValue(std::u16string_view line) {
  if (line.empty()) return false;
  if (line.front() == u'@') {
    line.remove_prefix(1);
  } else if (line.front() != u'"' || !takeQuoted(line)) {
    return false;
  }
  line = trimLeft(line);
  if (line.empty() || line.front() != u'=') return false;
  return trimLeft(line.substr(1)).substr(0, 3) == u"hex";
}

// Physical lines joined where a hex value continues after a trailing backslash.
std::optional<std::vector<Line>> logicalLines(std::u16string_view text, std::size_t& faultLine) {
  std::vector<Line> lines;
  std::size_t number = 0;
  bool continuing = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view line = text.substr(start, end - start);
    const bool last = end == text.size();
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (line.find(u'\0') != std::u16string_view::npos) {
      faultLine = number;
      return std::nullopt;
    }
    line = trim(line);
    if (continuing) {
      lines.back().text += line;
    } else {
      lines.push_back({std::u16string(line), number});
    }
    std::u16string& joined = lines.back().text;
    continuing = !joined.empty() && joined.back() == u'\\' && isHexValue(joined);
    if (continuing) {
      joined.pop_back();
      if (last) {  // a continuation with nothing after it
        faultLine = number;
        return std::nullopt;
      }
    }
    if (last) break;
  }
  return lines;
}

void deleteKeyTree(RegistryKeys& keys, const std::u16string& key) {
  for (auto it = keys.begin(); it != keys.end();) {
    const std::u16string& path = it->first;
    const bool inTree = path == key || (path.size() > key.size() && path.compare(0, key.size(), key) == 0 &&
                                        path[key.size()] == u'\\');
    it = inTree ? keys.erase(it) : std::next(it);
  }
}

// --- Editing -------------------------------------------------------------------------------------------

enum class Encoding { Utf8, Utf8Bom, Utf16le };

// One logical line of the file as it stands: its physical lines without their line ends, and what it is.
struct FileEntry {
  std::vector<std::u16string> physical;
  enum class Kind { Other, Header, Deletion, Value } kind = Kind::Other;
  std::u16string folded;  // Header and Deletion: the key's folded path; Value: the value's folded name
};

// The value's name as the value line begins, or nothing when the line is not a value line.
std::optional<std::u16string> valueName(std::u16string_view line) {
  if (line.empty()) return std::nullopt;
  if (line.front() == u'@') return std::u16string();
  if (line.front() != u'"') return std::nullopt;
  return takeQuoted(line);
}

std::vector<FileEntry> fileEntries(std::u16string_view text) {
  std::vector<FileEntry> entries;
  bool continuing = false;
  std::u16string joined;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    const bool last = end == text.size();
    start = end + 1;
    if (!continuing) {
      entries.push_back({});
      joined.clear();
    }
    entries.back().physical.emplace_back(line);
    joined += trim(line);
    continuing = !joined.empty() && joined.back() == u'\\' && isHexValue(joined);
    if (continuing) joined.pop_back();
    if (!continuing) {
      FileEntry& entry = entries.back();
      const std::u16string_view s = joined;
      if (s.size() >= 2 && s.front() == u'[' && s.back() == u']') {
        std::u16string_view path = s.substr(1, s.size() - 2);
        entry.kind = FileEntry::Kind::Header;
        if (!path.empty() && path.front() == u'-') {
          entry.kind = FileEntry::Kind::Deletion;
          path.remove_prefix(1);
        }
        entry.folded = foldRegistryName(path);
      } else if (const std::optional<std::u16string> name = valueName(s)) {
        entry.kind = FileEntry::Kind::Value;
        entry.folded = foldRegistryName(*name);
      }
    }
    if (last) break;
  }
  return entries;
}

FileEntry plainLine(std::u16string text) {
  FileEntry entry;
  entry.physical.push_back(std::move(text));
  return entry;
}

std::u16string quoted(std::u16string_view text) {
  std::u16string out = u"\"";
  for (const char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out + u"\"";
}

std::u16string hexByte(unsigned char byte) {
  const char16_t* digits = u"0123456789abcdef";
  return {digits[byte >> 4], digits[byte & 15]};
}

// The data after "=" for a value: a quoted text where the text reads back the same, a dword, else hex bytes.
std::u16string dataText(const RegistryValueData& value) {
  const std::string& bytes = value.bytes;
  if (value.type == kRegSz && bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes.compare(bytes.size() - 2, 2, std::string(2, '\0')) == 0) {
    const std::u16string text = fromUtf16le(std::string_view(bytes).substr(0, bytes.size() - 2));
    if (text.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string::npos && toUtf16le(text) + std::string(2, '\0') == bytes) {
      return quoted(text);
    }
  }
  if (value.type == kRegDword && bytes.size() == 4) {
    std::u16string out = u"dword:";
    for (int i = 3; i >= 0; --i) out += hexByte(static_cast<unsigned char>(bytes[i]));
    return out;
  }
  std::u16string out = u"hex:";
  if (value.type != kRegBinary) {
    std::u16string digits;
    for (std::uint32_t t = value.type;; t >>= 4) {
      digits.insert(digits.begin(), u"0123456789abcdef"[t & 15]);
      if (t < 16) break;
    }
    out = u"hex(" + digits + u"):";
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += u',';
    out += hexByte(static_cast<unsigned char>(bytes[i]));
  }
  return out;
}

// True when deleting `deleted` removes `key` (the key itself or one above it).
bool deletes(const std::u16string& deleted, const std::u16string& key) {
  return key == deleted || (key.size() > deleted.size() && key.compare(0, deleted.size(), deleted) == 0 &&
                            key[deleted.size()] == u'\\');
}

}  // namespace

bool editRegistryFile(std::string_view bytes, std::u16string_view keyPath, std::u16string_view name,
                      const RegistryValueData* value, std::string& result) {
  std::string source(bytes);
  if (source.empty()) source = "Windows Registry Editor Version 5.00\n\n";
  RegistryKeys keys;
  std::size_t faultLine = 0;
  if (!parseRegistryFile(source, keys, faultLine)) return false;

  Encoding encoding = Encoding::Utf8;
  if (source.size() >= 2 && source.compare(0, 2, "\xFF\xFE") == 0) encoding = Encoding::Utf16le;
  if (source.compare(0, 3, "\xEF\xBB\xBF") == 0) encoding = Encoding::Utf8Bom;
  const std::u16string text = *decode(source);
  const std::u16string newline = text.find(u"\r\n") != std::u16string::npos ? u"\r\n" : u"\n";

  const std::u16string key = foldRegistryName(keyPath);
  std::vector<FileEntry> entries = fileEntries(text);

  // Where the key's values stand: after the last header of the key that no later deletion undoes.
  std::optional<std::size_t> section;
  std::optional<std::u16string> current;
  std::vector<FileEntry> kept;
  std::optional<std::size_t> insertAfter;
  for (FileEntry& entry : entries) {
    switch (entry.kind) {
      case FileEntry::Kind::Header:
        current = entry.folded;
        if (entry.folded == key) section = insertAfter = kept.size();
        break;
      case FileEntry::Kind::Deletion:
        current.reset();
        if (deletes(entry.folded, key)) section = insertAfter = std::nullopt;
        break;
      case FileEntry::Kind::Value:
        if (value != nullptr && current == key && entry.folded == foldRegistryName(name)) continue;  // replaced
        if (current == key && section) insertAfter = kept.size();
        break;
      case FileEntry::Kind::Other:
        break;
    }
    kept.push_back(std::move(entry));
  }

  const bool keyExists = keys.count(key) != 0;
  if (value == nullptr && keyExists) {
    result = source;
    return true;
  }
  std::vector<FileEntry> added;
  if (value != nullptr) {
    const std::u16string nameText = name.empty() ? std::u16string(u"@") : quoted(name);
    added.push_back(plainLine(nameText + u"=" + dataText(*value)));
  }
  if (section) {
    kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(*insertAfter) + 1, added.begin(), added.end());
  } else {
    // A new section at the end, after one empty line, and the text's final line end after it.
    const auto isEmpty = [](const FileEntry& entry) {
      return entry.physical.size() == 1 && trim(entry.physical[0]).empty();
    };
    while (!kept.empty() && isEmpty(kept.back())) kept.pop_back();
    kept.push_back(plainLine(u""));
    kept.push_back(plainLine(u"[" + std::u16string(keyPath) + u"]"));
    kept.insert(kept.end(), added.begin(), added.end());
    kept.push_back(plainLine(u""));
  }

  std::u16string out;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    for (std::size_t j = 0; j < kept[i].physical.size(); ++j) {
      if (i > 0 || j > 0) out += newline;
      out += kept[i].physical[j];
    }
  }
  std::string encoded;
  switch (encoding) {
    case Encoding::Utf16le: encoded = "\xFF\xFE" + toUtf16le(out); break;
    case Encoding::Utf8Bom: encoded = "\xEF\xBB\xBF" + toUtf8(out); break;
    case Encoding::Utf8: encoded = toUtf8(out); break;
  }

  // What was written must read back as asked, or the file is not touched.
  RegistryKeys check;
  if (!parseRegistryFile(encoded, check, faultLine)) return false;
  const auto found = check.find(key);
  if (found == check.end()) return false;
  if (value != nullptr) {
    const auto read = found->second.find(foldRegistryName(name));
    if (read == found->second.end() || read->second.type != value->type || read->second.bytes != value->bytes) {
      return false;
    }
  }
  result = std::move(encoded);
  return true;
}

std::u16string foldRegistryName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
  }
  return folded;
}

bool parseRegistryFile(std::string_view bytes, RegistryKeys& keys, std::size_t& faultLine) {
  faultLine = 0;
  const std::optional<std::u16string> text = decode(bytes);
  if (!text) {
    faultLine = 1;
    return false;
  }
  const std::optional<std::vector<Line>> lines = logicalLines(*text, faultLine);
  if (!lines) return false;

  RegistryKeys result = keys;
  bool sawHeader = false;
  std::optional<std::u16string> currentKey;
  for (const Line& line : *lines) {
    const std::u16string_view s = line.text;
    faultLine = line.number;
    if (s.empty() || s.front() == u';') continue;
    if (!sawHeader) {
      // Only the Unicode format: the older REGEDIT4 files hold single-byte texts.
      if (s != u"Windows Registry Editor Version 5.00") return false;
      sawHeader = true;
      continue;
    }
    if (s.front() == u'[') {
      if (s.back() != u']') return false;
      std::u16string_view path = s.substr(1, s.size() - 2);
      const bool deletion = !path.empty() && path.front() == u'-';
      if (deletion) path.remove_prefix(1);
      if (path.empty() || path.front() == u'\\' || path.back() == u'\\' ||
          path.find(u"\\\\") != std::u16string_view::npos || path.find_first_of(u"[]") != std::u16string_view::npos) {
        return false;
      }
      const std::u16string key = foldRegistryName(path);
      if (deletion) {
        deleteKeyTree(result, key);
        currentKey.reset();  // values after a deletion belong to no key
      } else {
        result[key];
        currentKey = key;
      }
      continue;
    }
    if (s.front() != u'"' && s.front() != u'@') return false;
    if (!currentKey) return false;

    std::u16string_view rest = s;
    std::u16string name;
    if (rest.front() == u'@') {
      rest.remove_prefix(1);
    } else {
      const std::optional<std::u16string> quoted = takeQuoted(rest);
      if (!quoted) return false;
      name = *quoted;
    }
    rest = trimLeft(rest);
    if (rest.empty() || rest.front() != u'=') return false;
    rest = trimLeft(rest.substr(1));

    std::optional<RegistryValueData> value;
    if (!parseData(rest, value)) return false;
    RegistryValues& values = result[*currentKey];
    if (value) {
      values[foldRegistryName(name)] = *value;
    } else {
      values.erase(foldRegistryName(name));
    }
  }
  if (!sawHeader) {
    faultLine = 1;
    return false;
  }
  faultLine = 0;
  keys = std::move(result);
  return true;
}

}  // namespace quillon
