// The journal on the PC: the enrolment codes kept for a finishing step with nobody there, the journal's files
// in its folder, and the codes administrators look up.
#include "helper/ReplacementJournal.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

using namespace quillon;
using namespace testing_support;

namespace {

TEST(ReplacementJournal, TheCodesReadBackOnlyAsProtected) {
  const struct {
    const char* what;
    std::u16string company, cert;
  } cases[] = {
      {"plain codes", u"C-0001", u"X9-77"},
      {"Japanese and blanks", u"株式会社 トルバ", u"認証 コード"},
      {"long codes", std::u16string(259, u'c'), std::u16string(259, u'x')},
  };
  for (const auto& c : cases) {
    std::string kept;
    ASSERT_EQ(protectCodes(c.company, c.cert, kept), 0) << c.what;
    EXPECT_EQ(kept.find(toUtf8(c.company)), std::string::npos) << c.what << ": the codes are not kept readable";
    std::u16string company, cert;
    ASSERT_EQ(unprotectCodes(kept, company, cert), 0) << c.what;
    EXPECT_EQ(company, c.company) << c.what;
    EXPECT_EQ(cert, c.cert) << c.what;
    // A changed byte anywhere is refused, or (in a few header fields DPAPI leaves unchecked) gives back the
    // same codes: never other codes.
    for (std::size_t i = 0; i < kept.size(); ++i) {
      std::string changed = kept;
      changed[i] ^= 0x20;
      std::u16string otherCompany, otherCert;
      if (unprotectCodes(changed, otherCompany, otherCert) == 0) {
        EXPECT_EQ(otherCompany, c.company) << c.what << ": byte " << i;
        EXPECT_EQ(otherCert, c.cert) << c.what << ": byte " << i;
      }
    }
  }
}

TEST(ReplacementJournal, TheJournalAndItsCopyAreWrittenAndRemovedTogether) {
  TempDirectory folder;
  const std::u16string path = pathText(folder.path());
  ReplacementJournal journal;
  journal.oldProductCode = u"{6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B}";
  journal.newProductCode = u"{0B5C9E1D-7A42-4F63-8E2B-51D0C3A9F6E4}";
  journal.serverUrl = u"https://mdm.example.co.jp/rpc/";
  journal.packageSize = 5;
  ASSERT_EQ(writeJournal(path, journal), 0);
  writeBytes(toPath(journalPackageFile(path)), "bytes");
  ReplacementJournal read;
  EXPECT_EQ(parseJournal(readBytes(toPath(journalFile(path))), read), JournalDefect::None);
  EXPECT_EQ(read.newProductCode, journal.newProductCode);

  journal.newProductCode = u"not a product code";
  EXPECT_EQ(writeJournal(path, journal), kJournalUnformattable);
  EXPECT_EQ(parseJournal(readBytes(toPath(journalFile(path))), read), JournalDefect::None) << "the old journal stays";

  EXPECT_EQ(removeJournalFiles(path), 0);
  EXPECT_FALSE(boost::filesystem::exists(toPath(journalFile(path))));
  EXPECT_FALSE(boost::filesystem::exists(toPath(journalPackageFile(path))));
  EXPECT_EQ(removeJournalFiles(path), 0) << "nothing left to remove is no failure";
}

TEST(ReplacementJournal, CodesAreShownAsAdministratorsLookThemUp) {
  EXPECT_EQ(hexCode(0), u"0x00000000");
  EXPECT_EQ(hexCode(5), u"0x00000005");
  EXPECT_EQ(hexCode(static_cast<int>(0x80070005u)), u"0x80070005");
  EXPECT_EQ(hexCode(-1), u"0xFFFFFFFF");
}

}  // namespace
