// The initialisation-file rules. The same table runs against the Windows build's reading (Windows' own reader
// under Wine, ours for UTF-8) and the Linux build's, in each encoding administrators save Auth.ini in, so the
// two builds read an Auth.ini alike.
#include "platform/IniFile.h"
#include "platform/ProfileString.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

using namespace quillon;
using namespace testing_support;

namespace {

// The few characters beyond ASCII the tables use, in code page 932 (Shift-JIS), the ANSI code page of
// the Japanese Windows the tests run under.
std::string shiftJis(const std::u16string& text) {
  static const struct {
    char16_t character;
    const char* bytes;
  } kCodes[] = {{u'企', "\x8A\xE9"}, {u'業', "\x8B\xC6"}, {u'認', "\x94\x46"}, {u'証', "\x8F\xD8"},
                {u'表', "\x95\x5C"}, {u'ソ', "\x83\x5C"}, {u'先', "\x90\xE6"}, {u'社', "\x8E\xD0"}};
  std::string bytes;
  for (const char16_t c : text) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
      continue;
    }
    const auto code =
        std::find_if(std::begin(kCodes), std::end(kCodes), [&](const auto& k) { return k.character == c; });
    if (code == std::end(kCodes)) {
      ADD_FAILURE() << "no code page 932 bytes for U+" << std::hex << int(c);
    } else {
      bytes += code->bytes;
    }
  }
  return bytes;
}

// The encodings administrators save Auth.ini in. Each file starts with a comment line in Japanese, so that
// even a table row of plain ASCII is a file beyond ASCII: UTF-8 without a mark is then told from the ANSI
// code page by its bytes alone.
const struct {
  const char* name;
  std::string (*encode)(const std::u16string&);
} kEncodings[] = {
    {"UTF-8", [](const std::u16string& text) { return toUtf8(text); }},
    {"UTF-8 with mark", [](const std::u16string& text) { return "\xEF\xBB\xBF" + toUtf8(text); }},
    {"UTF-16LE with mark", [](const std::u16string& text) { return "\xFF\xFE" + toUtf16le(text); }},
    {"Shift-JIS (ANSI)", shiftJis},
};
const std::u16string kJapaneseComment = u";認証先\r\n";

std::u16string read(const fs::path& file, const char16_t* section = u"CERT", const char16_t* key = u"CompanyCode",
                    std::size_t capacity = 260) {
  std::u16string buffer(capacity, u'#');
  const std::size_t count = readProfileString(section, key, buffer.data(), capacity, file);
  const std::u16string value = buffer.c_str();
  EXPECT_EQ(count, value.size());
  return value;
}

TEST(ProfileString, FollowsTheWindowsRulesInEveryEncoding) {
  const struct {
    const char* what;
    std::u16string file;
    std::u16string expected;
  } cases[] = {
      {"plain", u"[CERT]\r\nCompanyCode=abc\r\n", u"abc"},
      {"LF line ends, no final line end", u"[CERT]\nCompanyCode=abc", u"abc"},
      {"names ignore letter case", u"[cert]\ncompanycode=abc\n", u"abc"},
      {"blanks around the key and the value", u"[CERT]\n  CompanyCode \t=  a b c \t\n", u"a b c"},
      {"double quotes removed", u"[CERT]\nCompanyCode=\"abc\"\n", u"abc"},
      {"single quotes removed", u"[CERT]\nCompanyCode='abc'\n", u"abc"},
      {"only a matching pair", u"[CERT]\nCompanyCode=\"abc'\n", u"\"abc'"},
      {"an opening quote alone", u"[CERT]\nCompanyCode=\"abc\n", u"\"abc"},
      {"an equals sign in the value", u"[CERT]\nCompanyCode=a=b\n", u"a=b"},
      {"a semicolon in the value", u"[CERT]\nCompanyCode=abc ;note\n", u"abc ;note"},
      {"comment line", u"[CERT]\n;CompanyCode=old\nCompanyCode=new\n", u"new"},
      {"the first line of the key wins", u"[CERT]\nCompanyCode=1\nCompanyCode=2\n", u"1"},
      {"other sections around", u"[A]\nCompanyCode=a\n[CERT]\nCompanyCode=c\n[B]\nCompanyCode=b\n", u"c"},
      {"a key before any section", u"CompanyCode=x\n[CERT]\n", u""},
      {"a key in another section", u"[CERT]\nX=1\n[OTHER]\nCompanyCode=x\n", u""},
      {"empty value", u"[CERT]\nCompanyCode=\n", u""},
      {"a key without a value", u"[CERT]\nCompanyCode\n", u""},
      {"nothing but the comment", u"", u""},
      {"a NUL ends the value", std::u16string(u"[CERT]\nCompanyCode=ab") + u'\0' + u"cd\n", u"ab"},
      {"a NUL first leaves the value empty", std::u16string(u"[CERT]\nCompanyCode=") + u'\0' + u"cd\n", u""},
      {"a line without an equals sign before the key", u"[CERT]\nCompanyCode\nCompanyCode=abc\n", u""},
      {"CR line ends", u"[CERT]\rCompanyCode=abc\r", u"abc"},
      {"CR line ends, the key later", u"[CERT]\rX=1\r\rCompanyCode=abc\rY=2", u"abc"},
      {"Japanese text", u"[CERT]\r\nCompanyCode=企業-1\r\n", u"企業-1"},
      // Both characters' second byte in code page 932 is 0x5C, the backslash.
      {"Japanese text with a backslash byte", u"[CERT]\r\nCompanyCode=表ソ\\x\r\n", u"表ソ\\x"},
      {"quotes around Japanese text", u"[CERT]\r\nCompanyCode = \"社 先\" \r\n", u"社 先"},
  };
  TempDirectory temp;
  const fs::path file = temp.path() / "settings.ini";
  for (const auto& encoding : kEncodings) {
    SCOPED_TRACE(encoding.name);
    for (const auto& c : cases) {
      writeBytes(file, encoding.encode(kJapaneseComment + c.file));
      EXPECT_EQ(read(file), c.expected) << c.what;
    }
  }
}

TEST(ProfileString, TellsUtf8WithoutAMarkFromTheAnsiCodePageByItsBytes) {
  const struct {
    const char* what;
    std::string file;  // after "[CERT]\nCompanyCode="
    IniEncoding encoding;
  } cases[] = {
      {"plain ASCII", "abc", IniEncoding::Ansi},
      {"UTF-8 Japanese", "\xE4\xBC\x81\xE6\xA5\xAD", IniEncoding::Utf8},
      {"UTF-8, four bytes", "\xF0\x9F\x98\x80", IniEncoding::Utf8},
      {"Shift-JIS Japanese", "\x8A\xE9\x8B\xC6", IniEncoding::Ansi},
      {"UTF-8, then one Shift-JIS character", "\xE4\xBC\x81\x8A\xE9", IniEncoding::Ansi},
      {"a sequence cut off at the end", "\xE4\xBC", IniEncoding::Ansi},
      {"an overlong form", "\xC0\xAF", IniEncoding::Ansi},
      {"an encoded surrogate", "\xED\xA0\x80", IniEncoding::Ansi},
      {"past U+10FFFF", "\xF4\x90\x80\x80", IniEncoding::Ansi},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(detectIniEncoding("[CERT]\nCompanyCode=" + c.file), c.encoding) << c.what;
  }
  EXPECT_EQ(detectIniEncoding("\xEF\xBB\xBF[CERT]"), IniEncoding::Utf8);
  EXPECT_EQ(detectIniEncoding("\xFF\xFE["), IniEncoding::Utf16LittleEndian);
  EXPECT_EQ(detectIniEncoding("\xFE\xFF"), IniEncoding::Utf16BigEndian);
}

TEST(ProfileString, CutsALongValueToTheBuffer) {
  TempDirectory temp;
  const fs::path file = temp.path() / "settings.ini";
  writeBytes(file, "[CERT]\nCompanyCode=" + std::string(300, 'z') + "\n");
  EXPECT_EQ(read(file), std::u16string(259, u'z'));
  EXPECT_EQ(read(file, u"CERT", u"CompanyCode", 4), u"zzz");
}

TEST(ProfileString, ReadsAFileThatAnotherProgramHoldsOpen) {
  TempDirectory temp;
  const fs::path file = temp.path() / "settings.ini";
  writeBytes(file, toUtf8(kJapaneseComment + u"[CERT]\nCompanyCode=企業\n"));  // UTF-8: our own reader on both builds
  const HeldFile held(file);
  ASSERT_TRUE(held.isHeld());
  EXPECT_EQ(read(file), u"企業");
}

TEST(ProfileString, AMissingOrUnreadableFileHoldsNoValue) {
  TempDirectory temp;
  EXPECT_EQ(read(temp.path() / "missing.ini"), u"");
  EXPECT_EQ(read(temp.path()), u"");  // a folder
}

}  // namespace
