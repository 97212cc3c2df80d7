// The initialisation-file rules. The same table runs against Windows' own reader (under Wine) and against
// the Linux build's reader, so the two builds read an Auth.ini alike.
#include "platform/ProfileString.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace testing_support;

namespace {

const std::string kUtf8Bom = "\xEF\xBB\xBF";

std::u16string read(const fs::path& file, const char16_t* section = u"CERT", const char16_t* key = u"CompanyCode",
                    std::size_t capacity = 260) {
  std::u16string buffer(capacity, u'#');
  const std::size_t count = readProfileString(section, key, buffer.data(), capacity, file);
  const std::u16string value = buffer.c_str();
  EXPECT_EQ(count, value.size());
  return value;
}

TEST(ProfileString, FollowsTheWindowsRules) {
  const struct {
    const char* what;
    std::string file;
    std::u16string expected;
  } cases[] = {
      {"plain", "[CERT]\r\nCompanyCode=abc\r\n", u"abc"},
      {"LF line ends, no final line end", "[CERT]\nCompanyCode=abc", u"abc"},
      {"names ignore letter case", "[cert]\ncompanycode=abc\n", u"abc"},
      {"blanks around the key and the value", "[CERT]\n  CompanyCode \t=  a b c \t\n", u"a b c"},
      {"double quotes removed", "[CERT]\nCompanyCode=\"abc\"\n", u"abc"},
      {"single quotes removed", "[CERT]\nCompanyCode='abc'\n", u"abc"},
      {"only a matching pair", "[CERT]\nCompanyCode=\"abc'\n", u"\"abc'"},
      {"an opening quote alone", "[CERT]\nCompanyCode=\"abc\n", u"\"abc"},
      {"an equals sign in the value", "[CERT]\nCompanyCode=a=b\n", u"a=b"},
      {"a semicolon in the value", "[CERT]\nCompanyCode=abc ;note\n", u"abc ;note"},
      {"comment line", "[CERT]\n;CompanyCode=old\nCompanyCode=new\n", u"new"},
      {"the first line of the key wins", "[CERT]\nCompanyCode=1\nCompanyCode=2\n", u"1"},
      {"other sections around", "[A]\nCompanyCode=a\n[CERT]\nCompanyCode=c\n[B]\nCompanyCode=b\n", u"c"},
      {"a key before any section", "CompanyCode=x\n[CERT]\n", u""},
      {"a key in another section", "[CERT]\nX=1\n[OTHER]\nCompanyCode=x\n", u""},
      {"empty value", "[CERT]\nCompanyCode=\n", u""},
      {"a key without a value", "[CERT]\nCompanyCode\n", u""},
      {"empty file", "", u""},
      {"a NUL ends the value", std::string("[CERT]\nCompanyCode=ab") + '\0' + "cd\n", u"ab"},
      {"a NUL first leaves the value empty", std::string("[CERT]\nCompanyCode=") + '\0' + "cd\n", u""},
      {"a line without an equals sign before the key", "[CERT]\nCompanyCode\nCompanyCode=abc\n", u""},
      {"CR line ends", "[CERT]\rCompanyCode=abc\r", u"abc"},
      {"CR line ends, the key later", "[CERT]\rX=1\r\rCompanyCode=abc\rY=2", u"abc"},
      {"UTF-8 with mark", kUtf8Bom + "[CERT]\nCompanyCode=企業-1\n", u"企業-1"},
      {"UTF-16LE with mark", "\xFF\xFE" + utf16le(u"[CERT]\r\nCompanyCode=企業-2\r\n"), u"企業-2"},
  };
  TempDirectory temp;
  const fs::path file = temp.path() / "settings.ini";
  for (const auto& c : cases) {
    writeBytes(file, c.file);
    EXPECT_EQ(read(file), c.expected) << c.what;
  }
}

TEST(ProfileString, CutsALongValueToTheBuffer) {
  TempDirectory temp;
  const fs::path file = temp.path() / "settings.ini";
  writeBytes(file, "[CERT]\nCompanyCode=" + std::string(300, 'z') + "\n");
  EXPECT_EQ(read(file), std::u16string(259, u'z'));
  EXPECT_EQ(read(file, u"CERT", u"CompanyCode", 4), u"zzz");
}

TEST(ProfileString, AMissingOrUnreadableFileHoldsNoValue) {
  TempDirectory temp;
  EXPECT_EQ(read(temp.path() / "missing.ini"), u"");
  EXPECT_EQ(read(temp.path()), u"");  // a folder
}

}  // namespace
