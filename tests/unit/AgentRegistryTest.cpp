// The registry probe's reading rules, on the registry of each build: the same regedit fixtures go into the
// Windows registry (under Wine, with reg import) and into the Linux build's registry file.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace testing_support;

namespace {

const std::u16string kKey = u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n";

// A regedit line giving `name` the UTF-16LE bytes of `text` and a terminator as a REG_SZ (hex(1)).
std::u16string rawString(const std::u16string& name, const std::u16string& text) {
  std::u16string line = u"\"" + name + u"\"=hex(1):";
  const std::string bytes = toUtf16le(text) + std::string(2, '\0');
  const char16_t digits[] = u"0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (i > 0) line += u",";
    line += digits[byte >> 4];
    line += digits[byte & 15];
  }
  return line + u"\r\n";
}

struct Read {
  int status;
  std::u16string text;
};

Read readValue(const char16_t* name, std::size_t capacity) {
  RegistryKey key;
  EXPECT_EQ(key.open(AgentRegistryKey), 0);
  std::u16string buffer(capacity, u'#');
  const int status = Helper::readRegistryString(key, name, buffer.data(), capacity);
  return {status, status == 0 ? std::u16string(buffer.c_str()) : std::u16string()};
}

TEST(ReadRegistryString, FollowsTheReadingRules) {
  const std::u16string text63(63, u'x');
  AgentRegistryFixture fixture(
      kKey + u"\"Plain\"=\"5.1.0\"\r\n\"Empty\"=\"\"\r\n\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n" +
      u"\"Multi\"=hex(7):61,00,00,00,00,00\r\n\"Number\"=dword:00000005\r\n\"Binary\"=hex:61,00,00,00\r\n" +
      u"\"Fits\"=\"" + text63 + u"\"\r\n\"TooLong\"=\"" + text63 + u"x\"\r\n" +
      rawString(u"TwoTexts", std::u16string(u"ab\0cd", 5)));
  fixture.setRawValue(u"Unterminated", kRegSz, toUtf16le(u"abc"));
  fixture.setRawValue(u"UnterminatedFull", kRegSz, toUtf16le(std::u16string(64, u'y')));
  fixture.setRawValue(u"Odd", kRegSz, std::string("a\0b", 3));
  fixture.setRawValue(u"ZeroBytes", kRegSz, "");

  const struct {
    const char16_t* name;
    int status;
    std::u16string text;
  } cases[] = {
      {u"Plain", 0, u"5.1.0"},
      {u"plain", 0, u"5.1.0"},                // value names ignore letter case
      {u"Empty", 0, u""},
      {u"Expand", 0, u"%TMP%"},               // used as stored, not expanded
      {u"Multi", kErrorInvalidData, u""},
      {u"Number", kErrorInvalidData, u""},
      {u"Binary", kErrorInvalidData, u""},
      {u"Fits", 0, text63},                   // 63 characters and the terminator fill 64
      {u"TooLong", kErrorMoreData, u""},       // never cut to fit
      {u"Unterminated", kErrorInvalidData, u""},
      {u"UnterminatedFull", kErrorInvalidData, u""},  // exactly fills the buffer, yet has no terminator
      {u"Odd", kErrorInvalidData, u""},
      {u"ZeroBytes", 0, u""},
      {u"TwoTexts", 0, u"ab"},                // the text ends at the first NUL
      {u"Missing", kErrorFileNotFound, u""},
  };
  for (const auto& c : cases) {
    const Read read = readValue(c.name, 64);
    EXPECT_EQ(read.status, c.status) << toUtf8(c.name);
    EXPECT_EQ(read.text, c.text) << toUtf8(c.name);
  }
}

TEST(IsAgentInstalled, ComparesTheUpgradeCodeIgnoringOnlyAsciiCase) {
  const struct {
    const char* what;
    std::u16string values;
    bool installed;
  } cases[] = {
      {"the code", u"\"UpgradeCode\"=\"{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}\"\r\n", true},
      {"in lower case", u"\"UpgradeCode\"=\"{8d27f0a4-61c3-4b5e-92d7-3e0f5a1c84b9}\"\r\n", true},
      {"as REG_EXPAND_SZ", u"\"UpgradeCode\"=hex(2):" +
                               std::u16string(u"7b,00,38,00,44,00,32,00,37,00,46,00,30,00,41,00,34,00,2d,00,36,00,31,00,"
                                              u"43,00,33,00,2d,00,34,00,42,00,35,00,45,00,2d,00,39,00,32,00,44,00,37,00,"
                                              u"2d,00,33,00,45,00,30,00,46,00,35,00,41,00,31,00,43,00,38,00,34,00,42,00,"
                                              u"39,00,7d,00,00,00\r\n"),
       true},
      {"without braces", u"\"UpgradeCode\"=\"8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9\"\r\n", false},
      {"a blank before", u"\"UpgradeCode\"=\" {8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}\"\r\n", false},
      {"a blank after", u"\"UpgradeCode\"=\"{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9} \"\r\n", false},
      {"another code", u"\"UpgradeCode\"=\"{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B0}\"\r\n", false},
      {"full-width letters", u"\"UpgradeCode\"=\"{８D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}\"\r\n", false},
      {"as REG_MULTI_SZ", u"\"UpgradeCode\"=hex(7):7b,00,7d,00,00,00,00,00\r\n", false},
      {"no value", u"\"ProductVersion\"=\"5.1.0\"\r\n", false},
      {"longer than 63", u"\"UpgradeCode\"=\"{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}" + std::u16string(30, u'0') + u"\"\r\n",
       false},
  };
  for (const auto& c : cases) {
    const AgentRegistryFixture fixture(kKey + c.values);
    EXPECT_EQ(Helper::isAgentInstalled(), c.installed) << c.what;
  }
  const AgentRegistryFixture noKey(u"");
  EXPECT_FALSE(Helper::isAgentInstalled()) << "no key";
}

TEST(IsAgentInstalled, SeesTheKeyInItsOwnRegistryViewOnly) {
  if (!runsOnWindows()) GTEST_SKIP() << "the registry file has one view only";
  // The 32-bit tool on 64-bit Windows reads the 32-bit view; the agent's values in the 64-bit view alone
  // (for the 64-bit build: in the 32-bit view alone) are no agent to migrate.
  const std::u16string values = kKey + u"\"UpgradeCode\"=\"{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}\"\r\n"
                                       u"\"ProductVersion\"=\"5.1.0\"\r\n";
  {
    const AgentRegistryFixture other(values, RegistryView::Other);
    const AgentRegistryFixture none(u"");
    AgentVersion version;
    EXPECT_FALSE(Helper::isAgentInstalled()) << "only in the other view";
    EXPECT_FALSE(Helper::getAgentVersion(version)) << "only in the other view";
  }
  const AgentRegistryFixture own(values);
  const AgentRegistryFixture otherEmpty(u"", RegistryView::Other);
  AgentVersion version;
  EXPECT_TRUE(Helper::isAgentInstalled()) << "in the tool's view";
  EXPECT_TRUE(Helper::getAgentVersion(version)) << "in the tool's view";
}

TEST(GetAgentVersion, ReadsTheFirstThreeNumbers) {
  const struct {
    std::u16string stored;
    bool ok;
    AgentVersion expected;
  } cases[] = {
      {u"\"5.1.0\"", true, {5, 1, 0}},
      {u"\"10.2\"", false, {}},
      {u"\"1..2.3\"", true, {1, 2, 3}},
      {u"\".1.2.3.\"", true, {1, 2, 3}},
      {u"\"1.2.3.4\"", true, {1, 2, 3}},
      {u"\"a.b.c\"", false, {}},
      {u"\"7. 8. 9\"", true, {7, 8, 9}},
      {u"\"3rc1.0.2\"", true, {3, 0, 2}},
      {u"\"-1.+2.3\"", true, {-1, 2, 3}},
      {u"\"0x10.1.1\"", true, {0, 1, 1}},
      {u"\"1.2.99999999999\"", false, {1, 2, 0}},  // the earlier fields are written before the failure
      {u"\"2147483647.-2147483648.0\"", true, {2147483647, -2147483647 - 1, 0}},
      {u"\"1.2147483648.0\"", false, {1, 0, 0}},
      {u"\"\"", false, {}},
      {u"\"1.2.3" + std::u16string(26, u'x') + u"\"", true, {1, 2, 3}},  // 31 characters: the most that fit
      {u"\"1.2.3" + std::u16string(27, u'x') + u"\"", false, {}},        // 32: refused, never cut
  };
  for (const auto& c : cases) {
    const AgentRegistryFixture fixture(kKey + u"\"ProductVersion\"=" + c.stored + u"\r\n");
    AgentVersion version;
    EXPECT_EQ(Helper::getAgentVersion(version), c.ok) << toUtf8(c.stored);
    if (c.ok || c.expected.major != 0) {
      EXPECT_EQ(version.major, c.expected.major) << toUtf8(c.stored);
      EXPECT_EQ(version.minor, c.expected.minor) << toUtf8(c.stored);
      EXPECT_EQ(version.build, c.expected.build) << toUtf8(c.stored);
    }
  }
  AgentRegistryFixture unterminated(kKey);
  unterminated.setRawValue(u"ProductVersion", kRegSz, toUtf16le(u"5.1.0"));
  AgentVersion version;
  EXPECT_FALSE(Helper::getAgentVersion(version)) << "stored without a terminating NUL";
}

TEST(SplitVersion, KeepsTheNonEmptyPiecesInOrder) {
  using Pieces = std::vector<std::u16string>;
  const struct {
    std::u16string text;
    Pieces pieces;
  } cases[] = {
      {u"5.1.0", {u"5", u"1", u"0"}}, {u"", {}}, {u".", {}}, {u"...", {}}, {u"abc", {u"abc"}},
      {u".a..b.", {u"a", u"b"}},      {u" . ", {u" ", u" "}},
  };
  for (const auto& c : cases) EXPECT_EQ(Helper::splitVersion(c.text), c.pieces) << toUtf8(c.text);
}

}  // namespace
