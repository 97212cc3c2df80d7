// The Linux build's registry file: what regedit's format means, and that malformed text is refused
// cleanly (never read in part, never misread).
#include "platform/Registry.h"
#include "platform/linux/RegistryFile.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <random>

using namespace quillon;
using namespace testing_support;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n";
const std::u16string kKeyName = u"hkey_local_machine\\software\\torva\\quillon";

std::string sz(const std::u16string& text) { return toUtf16le(text) + std::string(2, '\0'); }

TEST(RegistryFile, ReadsEveryValueFormRegeditWrites) {
  const struct {
    const char* what;
    std::string line;
    std::uint32_t type;
    std::string bytes;
  } cases[] = {
      {"string", "\"V\"=\"abc\"", kRegSz, sz(u"abc")},
      {"empty string", "\"V\"=\"\"", kRegSz, sz(u"")},
      {"escaped quote and backslash", "\"V\"=\"a\\\"b\\\\c\"", kRegSz, sz(u"a\"b\\c")},
      {"Japanese text", "\"V\"=\"移行ツール\"", kRegSz, sz(u"移行ツール")},
      {"blanks kept inside", "\"V\"=\" a b \"", kRegSz, sz(u" a b ")},
      {"dword", "\"V\"=dword:0000002a", kRegDword, std::string("\x2a\0\0\0", 4)},
      {"short dword", "\"V\"=dword:1", kRegDword, std::string("\x01\0\0\0", 4)},
      {"expand string", "\"V\"=hex(2):41,00,25,00,00,00", kRegExpandSz, std::string("A\0%\0\0\0", 6)},
      {"multi string", "\"V\"=hex(7):41,00,00,00,00,00", kRegMultiSz, std::string("A\0\0\0\0\0", 6)},
      {"string without its terminator", "\"V\"=hex(1):41,00,42,00", kRegSz, std::string("A\0B\0", 4)},
      {"string of odd length", "\"V\"=hex(1):41,00,42", kRegSz, std::string("A\0B", 3)},
      {"zero bytes", "\"V\"=hex(1):", kRegSz, ""},
      {"binary", "\"V\"=hex:de,ad", kRegBinary, "\xde\xad"},
      {"continued over lines", "\"V\"=hex(2):41,00,\\\r\n  42,00,\\\r\n  00,00", kRegExpandSz, std::string("A\0B\0\0\0", 6)},
      {"upper-case hex", "\"V\"=hex(2):4A,00", kRegExpandSz, std::string("J\0", 2)},
      {"continued after a blank", "\"V\"= hex(2):41,00,\\\r\n  00,00", kRegExpandSz, std::string("A\0\0\0", 4)},
      {"default value", "@=\"d\"", kRegSz, sz(u"d")},
  };
  for (const auto& c : cases) {
    RegistryKeys keys;
    std::size_t faultLine = 99;
    ASSERT_TRUE(parseRegistryFile(kHeader + kKey + c.line + "\r\n", keys, faultLine)) << c.what << " line " << faultLine;
    const RegistryValues& values = keys.at(kKeyName);
    ASSERT_EQ(values.size(), 1u) << c.what;
    const RegistryValueData& value = values.begin()->second;
    EXPECT_EQ(value.type, c.type) << c.what;
    EXPECT_EQ(value.bytes, c.bytes) << c.what;
  }
}

TEST(RegistryFile, NamesIgnoreLetterCaseAndLaterLinesWin) {
  const std::string text = kHeader + "; a comment, never continued =hex\\\r\n[hkey_local_machine\\Software\\torva\\QUILLON]\r\n"
                           "\"UpgradeCode\"=\"first\"\r\n\"upgradecode\"=\"second\"\r\n\"Gone\"=\"x\"\r\n\"Gone\"=-\r\n"
                           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]\r\n" + kKey + "\"Other\"=\"o\"\r\n";
  RegistryKeys keys;
  std::size_t faultLine = 0;
  ASSERT_TRUE(parseRegistryFile(text, keys, faultLine));
  const RegistryValues& values = keys.at(kKeyName);
  EXPECT_EQ(values.at(u"upgradecode").bytes, sz(u"second"));
  EXPECT_EQ(values.count(u"gone"), 0u);
  EXPECT_EQ(values.at(u"other").bytes, sz(u"o"));
}

TEST(RegistryFile, ReadsUtf16WithItsMarkAndUtf8) {
  const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                              u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n\"V\"=\"移行\"\r\n";
  for (const std::string& bytes : {"\xFF\xFE" + toUtf16le(text), std::string("\xEF\xBB\xBF") + "Windows Registry Editor Version 5.00\n\n"
                                                                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\n\"V\"=\"移行\"\n"}) {
    RegistryKeys keys;
    std::size_t faultLine = 0;
    ASSERT_TRUE(parseRegistryFile(bytes, keys, faultLine));
    EXPECT_EQ(keys.at(kKeyName).at(u"v").bytes, sz(u"移行"));
  }
}

TEST(RegistryFile, RefusesMalformedTextWithTheLineOfTheFault) {
  const struct {
    const char* what;
    std::string text;
    std::size_t line;
  } cases[] = {
      {"empty file", "", 1},
      {"no header", kKey + "\"V\"=\"a\"\r\n", 1},
      {"wrong header", "Windows Registry Editor Version 4.00\r\n", 1},
      {"single-byte format", "REGEDIT4\r\n", 1},
      {"value before any key", kHeader + "\"V\"=\"a\"\r\n", 3},
      {"value after a deleted key", kHeader + "[-HKEY_LOCAL_MACHINE\\X]\r\n\"V\"=\"a\"\r\n", 4},
      {"unclosed key", kHeader + "[HKEY_LOCAL_MACHINE\\X\r\n", 3},
      {"empty key", kHeader + "[]\r\n", 3},
      {"key ending in a backslash", kHeader + "[HKEY_LOCAL_MACHINE\\X\\]\r\n", 3},
      {"unclosed name", kHeader + kKey + "\"V=\"a\"\r\n", 4},
      {"no equals sign", kHeader + kKey + "\"V\" \"a\"\r\n", 4},
      {"unclosed text", kHeader + kKey + "\"V\"=\"abc\r\n", 4},
      {"text with trailing garbage", kHeader + kKey + "\"V\"=\"a\"b\r\n", 4},
      {"unknown escape", kHeader + kKey + "\"V\"=\"a\\nb\"\r\n", 4},
      {"unknown type word", kHeader + kKey + "\"V\"=qword:1\r\n", 4},
      {"dword too long", kHeader + kKey + "\"V\"=dword:123456789\r\n", 4},
      {"dword not hex", kHeader + kKey + "\"V\"=dword:xyz\r\n", 4},
      {"empty dword", kHeader + kKey + "\"V\"=dword:\r\n", 4},
      {"byte of three digits", kHeader + kKey + "\"V\"=hex:123\r\n", 4},
      {"byte not hex", kHeader + kKey + "\"V\"=hex:4g\r\n", 4},
      {"empty byte", kHeader + kKey + "\"V\"=hex:41,,42\r\n", 4},
      {"trailing comma", kHeader + kKey + "\"V\"=hex:41,\r\n", 4},
      {"unclosed type", kHeader + kKey + "\"V\"=hex(2:41\r\n", 4},
      {"type not hex", kHeader + kKey + "\"V\"=hex(z):41\r\n", 4},
      {"continuation at the end", kHeader + kKey + "\"V\"=hex:41,\\", 4},
      {"a stray line", kHeader + kKey + "V=a\r\n", 4},
      {"a NUL character", kHeader + kKey + std::string("\"V\"=\"a\0b\"\r\n", 11), 4},
      {"odd UTF-16 length", "\xFF\xFE" + toUtf16le(u"Windows Registry Editor Version 5.00\r\n") + "x", 1},
      {"broken UTF-8", kHeader + kKey + "\"V\"=\"\xC3\x28\"\r\n", 1},
  };
  for (const auto& c : cases) {
    RegistryKeys keys;
    keys[u"kept"];
    std::size_t faultLine = 0;
    EXPECT_FALSE(parseRegistryFile(c.text, keys, faultLine)) << c.what;
    EXPECT_EQ(faultLine, c.line) << c.what;
    EXPECT_EQ(keys.size(), 1u) << c.what << ": nothing is taken from a refused file";
  }
}

TEST(RegistryFile, SurvivesRandomDamageToAValidFile) {
  // Whatever a damaged file holds, the parser ends with a clean yes or no, and a yes keeps the shape.
  const std::string valid = kHeader + kKey + "\"UpgradeCode\"=\"{8D27F0A4}\"\r\n\"V\"=hex(2):41,00,\\\r\n  00,00\r\n"
                                             "\"D\"=dword:00000001\r\n@=\"x\"\r\n";
  std::mt19937 random(20240611);
  const char alphabet[] = "\"\\[]=:,@-;()hexdword0123456789abcdef \r\n\t\xFF\xFE\0";
  for (int round = 0; round < 3000; ++round) {
    std::string text = valid;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0: text[at] = alphabet[random() % (sizeof alphabet - 1)]; break;
        case 1: text.erase(at, 1 + random() % 3); break;
        default: text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]); break;
      }
      if (text.empty()) text = "x";
    }
    RegistryKeys keys;
    std::size_t faultLine = 0;
    if (parseRegistryFile(text, keys, faultLine)) {
      EXPECT_EQ(faultLine, 0u);
    } else {
      EXPECT_GE(faultLine, 1u);
      EXPECT_TRUE(keys.empty());
    }
  }
}

TEST(RegistryKeyOnLinux, OpensNamedKeysAndTheirParentsAndReportsABrokenFile) {
  TempDirectory temp;
  const fs::path file = temp.path() / "registry.reg";
  ScopedEnvironment registry("QUILLON_REGISTRY_FILE", file.string());
  RegistryKey key;
  EXPECT_EQ(key.open(u"SOFTWARE\\TORVA\\Quillon"), kErrorFileNotFound) << "no file: no key";

  writeBytes(file, kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon-Old]\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon\\Sub]\r\n\"V\"=\"a\"\r\n");
  EXPECT_EQ(key.open(u"SOFTWARE\\TORVA\\Quillon"), 0) << "a parent of a named key exists";
  EXPECT_EQ(key.open(u"software\\torva"), 0);
  EXPECT_EQ(key.open(u"SOFTWARE\\TORVA\\Quil"), kErrorFileNotFound);
  EXPECT_EQ(key.open(u"SOFTWARE\\TORVA\\Quillon\\Sub"), 0);

  char16_t buffer[1];
  std::uint32_t type = 0, size = sizeof buffer;
  EXPECT_EQ(key.queryValue(u"V", &type, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(key.queryValue(u"W", &type, buffer, &size), kErrorFileNotFound);

  writeBytes(file, kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n\"V\"=\"a\r\n");
  EXPECT_EQ(key.open(u"SOFTWARE\\TORVA\\Quillon"), kErrorBadDatabase);
  EXPECT_FALSE(key.isOpen());
}

TEST(RegistryKeyOnLinux, ReadsAFileOthersHoldOpenButNoneTooLargeToReadWhole) {
  TempDirectory temp;
  const fs::path file = temp.path() / "registry.reg";
  ScopedEnvironment registry("QUILLON_REGISTRY_FILE", file.string());
  writeBytes(file, kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n");
  RegistryKey key;
  {
    const HeldFile held(file);
    ASSERT_TRUE(held.isHeld());
    EXPECT_EQ(key.open(u"SOFTWARE\\TORVA\\Quillon"), 0) << "held open by another program";
  }
  fs::resize_file(file, (64u << 20) + 1);
  EXPECT_EQ(key.open(u"SOFTWARE\\TORVA\\Quillon"), kErrorFileNotFound) << "larger than any file read whole";
}

// --- Editing: what the tool writes for RegCreateKeyExW and RegSetValueExW -------------------------------

const std::u16string kRecordKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\QuillonMigrationTool";

std::string utf16File(const std::string& utf8) { return "\xFF\xFE" + toUtf16le(fromUtf8(utf8)); }

TEST(RegistryFile, AnEditChangesItsValueAloneAndKeepsEveryOtherByte) {
  const RegistryValueData one{kRegDword, std::string("\x01\0\0\0", 4)};
  const RegistryValueData text{kRegSz, sz(u"移行 \"a\"")};
  const RegistryValueData expand{kRegExpandSz, sz(u"%P%\\x.exe")};
  const std::string agent = kHeader + "; kept\r\n" + kKey + "\"UpgradeCode\"=\"{X}\"\r\n";
  const struct {
    const char* what;
    std::string before;
    std::u16string name;
    const RegistryValueData* value;
    std::string after;
  } cases[] = {
      {"a new file", "", u"Migrated", &one,
       "Windows Registry Editor Version 5.00\n\n[" + toUtf8(kRecordKey) + "]\n\"Migrated\"=dword:00000001\n"},
      {"a new key after the others, CR LF kept", agent, u"Migrated", &one,
       agent + "\r\n[" + toUtf8(kRecordKey) + "]\r\n\"Migrated\"=dword:00000001\r\n"},
      {"a value replaced where it stands, the key's spelling kept",
       kHeader + "[HKEY_LOCAL_MACHINE\\Software\\TORVA\\QuillonMigrationTool]\r\n\"migrated\"=dword:00000000\r\n"
                 "\"Other\"=\"x\"\r\n\r\n" + kKey,
       u"Migrated", &one,
       kHeader + "[HKEY_LOCAL_MACHINE\\Software\\TORVA\\QuillonMigrationTool]\r\n\"Other\"=\"x\"\r\n"
                 "\"Migrated\"=dword:00000001\r\n\r\n" + kKey},
      {"a hex value over several lines replaced whole",
       kHeader + "[" + toUtf8(kRecordKey) + "]\r\n\"File\"=hex(2):41,00,\\\r\n  00,00\r\n\"Kept\"=\"k\"\r\n",
       u"File", &expand,
       kHeader + "[" + toUtf8(kRecordKey) + "]\r\n\"Kept\"=\"k\"\r\n\"File\"=hex(2):25,00,50,00,25,00,5c,00,78,00,"
                 "2e,00,65,00,78,00,65,00,00,00\r\n"},
      {"a text with quotes, after a deletion of the key above it",
       kHeader + "[" + toUtf8(kRecordKey) + "]\r\n\"Text\"=\"old\"\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA]\r\n", u"Text",
       &text,
       kHeader + "[" + toUtf8(kRecordKey) + "]\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA]\r\n\r\n[" + toUtf8(kRecordKey) +
           "]\r\n\"Text\"=\"移行 \\\"a\\\"\"\r\n"},
      {"a key made, nothing else", agent, u"", nullptr, agent + "\r\n[" + toUtf8(kRecordKey) + "]\r\n"},
      {"a key that exists stays as it is", agent, u"", nullptr, agent},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string after;
    const std::u16string key =
        std::string(c.what) == "a key that exists stays as it is" ? u"HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon" : kRecordKey;
    ASSERT_TRUE(editRegistryFile(c.before, key, c.name, c.value, after));
    EXPECT_EQ(after, c.after);
    // The same edit of the file in UTF-16LE with its mark gives the same text in that encoding.
    if (!c.before.empty()) {
      std::string wide;
      ASSERT_TRUE(editRegistryFile(utf16File(c.before), key, c.name, c.value, wide));
      EXPECT_EQ(wide, utf16File(c.after));
    }
  }
}

TEST(RegistryFile, AMalformedFileIsNeverRewritten) {
  const RegistryValueData one{kRegDword, std::string("\x01\0\0\0", 4)};
  for (const std::string& bytes : {std::string("not a registry file"), kHeader + "[HKEY_LOCAL_MACHINE\\A\r\nbroken"}) {
    std::string after = "untouched";
    EXPECT_FALSE(editRegistryFile(bytes, kRecordKey, u"Migrated", &one, after));
    EXPECT_EQ(after, "untouched");
  }
}

TEST(RegistryFile, TheToolsValuesAreWrittenWholeByARename) {
  TempDirectory directory;
  const fs::path file = directory.path() / "registry.reg";
  const std::string agent = utf16File(kHeader + kKey + "\"ProductCode\"=\"{X}\"\r\n");
  writeBytes(file, agent);
  const ScopedEnvironment registryFile("QUILLON_REGISTRY_FILE", file.string());
  WritableRegistryKey key;
  ASSERT_EQ(key.create(u"SOFTWARE\\TORVA\\QuillonMigrationTool", KeyView::Bits32), 0);
  ASSERT_EQ(key.setString(u"LastRunTime", u"2026-01-09T14:30:12"), 0);
  EXPECT_EQ(readBytes(file), utf16File(kHeader + kKey + "\"ProductCode\"=\"{X}\"\r\n\r\n[" + toUtf8(kRecordKey) +
                                       "]\r\n\"LastRunTime\"=\"2026-01-09T14:30:12\"\r\n"));
  EXPECT_FALSE(fs::exists(file.string() + ".new"));

  // A malformed file: the write fails with the registry's "bad database" and the file stays.
  writeBytes(file, "broken");
  EXPECT_EQ(key.setDword(u"Migrated", 1), kErrorBadDatabase);
  EXPECT_EQ(readBytes(file), "broken");
}

}  // namespace
