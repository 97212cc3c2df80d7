// Reading License.txt beside the executable (here: beside the test program).
#include "helper/Helper.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <memory>

using namespace quillon;
using namespace testing_support;

namespace {

class LicenseTextTest : public ::testing::Test {
 protected:
  fs::path licenseFile = testProgram().parent_path() / "License.txt";
  void SetUp() override { fs::remove_all(licenseFile); }
  void TearDown() override { fs::remove_all(licenseFile); }

  // The text read, or "<none>" when the read failed (then no buffer may be handed out).
  static std::u16string read() {
    char16_t* text = reinterpret_cast<char16_t*>(1);
    if (!Helper::readLicenseText(text)) {
      EXPECT_EQ(text, nullptr);
      return u"<none>";
    }
    const std::unique_ptr<char16_t[]> owned(text);
    return text;
  }
};

TEST_F(LicenseTextTest, TakesTheFileAsStoredUtf16) {
  const struct {
    const char* what;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"byte-order mark kept as the first character", "\xFF\xFE" + toUtf16le(u"規約"), u"\xFEFF規約"},
      {"no mark", toUtf16le(u"terms\r\nline 2"), u"terms\r\nline 2"},
      {"odd last byte dropped", toUtf16le(u"ab") + "c", u"ab"},
      {"one byte only", "x", u""},
      {"empty file", "", u""},
      {"not UTF-16: shown as units, no error", "abcd", u"\x6261\x6463"},
  };
  for (const auto& c : cases) {
    writeBytes(licenseFile, c.bytes);
    EXPECT_EQ(read(), c.text) << c.what;
  }
}

TEST_F(LicenseTextTest, FailsWhenTheFileCannotBeHadAlone) {
  EXPECT_EQ(read(), u"<none>") << "missing";

  writeBytes(licenseFile, toUtf16le(u"terms"));
  {
    HeldFile held(licenseFile);
    ASSERT_TRUE(held.isHeld());
    EXPECT_EQ(read(), u"<none>") << "held open by another program";
  }
  EXPECT_EQ(read(), u"terms") << "released again";

  fs::resize_file(licenseFile, (64u << 20) + 2);
  EXPECT_EQ(read(), u"<none>") << "too large to be terms";

  fs::remove(licenseFile);
  fs::create_directory(licenseFile);
  EXPECT_EQ(read(), u"<none>") << "a folder";
}

}  // namespace
