// The Linux registry file's reader on any bytes. A malformed file leaves the keys as they were and names a
// line; a good one keeps names folded. The same text parses alike from UTF-8 and from UTF-16LE with its
// byte-order mark, the two forms the file comes in.
#include "platform/Registry.h"
#include "platform/linux/RegistryFile.h"
#include "tests/fuzz/FuzzInput.h"

#include <algorithm>

using namespace quillon;
using namespace quillon::fuzz;

namespace {

RegistryKeys sentinel() {
  RegistryKeys keys;
  keys[u"hkey_local_machine\\software\\fuzz"][u"kept"] = RegistryValueData{kRegSz, std::string("k\0\0\0", 4)};
  return keys;
}

bool same(const RegistryKeys& a, const RegistryKeys& b) {
  const auto sameValues = [](const RegistryValues& x, const RegistryValues& y) {
    return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](const auto& v, const auto& w) {
      return v.first == w.first && v.second.type == w.second.type && v.second.bytes == w.second.bytes;
    });
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](const auto& k, const auto& l) { return k.first == l.first && sameValues(k.second, l.second); });
}

std::u16string describe(std::string_view bytes) { return fromUtf8(bytes); }

void checkParsed(std::string_view bytes, const RegistryKeys& keys) {
  for (const auto& [path, values] : keys) {
    check(foldRegistryName(path) == path, "key paths are folded", describe(bytes));
    // The data is any type's bytes as given (hex(4): of six bytes is a dword of six bytes, as in the
    // registry); the readers judge them.
    for (const auto& entry : values) {
      check(foldRegistryName(entry.first) == entry.first, "value names are folded", describe(bytes));
    }
  }
}

// The tool's own write into a good file: it succeeds, and the file then reads as before with that one value set.
void checkEdit(std::string_view bytes) {
  const std::u16string key = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\QuillonMigrationTool";
  const RegistryValueData one{kRegDword, std::string("\x01\0\0\0", 4)};
  std::string edited;
  check(editRegistryFile(bytes, key, u"Migrated", &one, edited), "a good file takes the tool's value", describe(bytes));
  RegistryKeys expected;
  RegistryKeys after;
  std::size_t faultLine = 0;
  parseRegistryFile(bytes, expected, faultLine);
  expected[foldRegistryName(key)][u"migrated"] = one;
  check(parseRegistryFile(edited, after, faultLine) && same(after, expected), "an edit changes its value alone",
        describe(bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = bytesOf(data, size);
  RegistryKeys keys = sentinel();
  std::size_t faultLine = 0;
  const bool parsed = parseRegistryFile(bytes, keys, faultLine);
  if (parsed) {
    check(faultLine == 0, "a good file names no fault line", describe(bytes));
    checkParsed(bytes, keys);
    checkEdit(bytes);
  } else {
    check(faultLine >= 1, "a malformed file names its line", describe(bytes));
    check(same(keys, sentinel()), "a malformed file changes nothing", describe(bytes));
  }

  // The UTF-16LE form of a UTF-8 file (the BOM dropped, as the reader drops it).
  std::string_view utf8 = bytes;
  if (utf8.substr(0, 2) == "\xFF\xFE") return 0;
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  const std::u16string text = fromUtf8(utf8);
  if (toUtf8(text) != utf8) return 0;  // not UTF-8: no UTF-16 twin
  const std::string utf16 = "\xFF\xFE" + toUtf16le(text);
  RegistryKeys twinKeys = sentinel();
  std::size_t twinFaultLine = 0;
  const bool twinParsed = parseRegistryFile(utf16, twinKeys, twinFaultLine);
  check(twinParsed == parsed && twinFaultLine == faultLine && same(twinKeys, keys),
        "UTF-8 and UTF-16LE files of one text parse alike", describe(bytes));
  return 0;
}
