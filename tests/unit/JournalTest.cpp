// The journal of a replacement under way: what is written reads back as itself, and nothing else is ever read
// as a journal (a cut, a changed byte, another format, a line this writer never writes); and what the finishing
// step decides from the journal and the PC.
#include "helper/FinishDecision.h"
#include "helper/Journal.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

ReplacementJournal sampleJournal() {
  ReplacementJournal journal;
  journal.step = JournalStep::Install;
  journal.attempts = 2;
  journal.oldProductCode = u"{6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B}";
  journal.oldVersion = u"5.1.0";
  journal.newProductCode = u"{0B5C9E1D-7A42-4F63-8E2B-51D0C3A9F6E4}";
  journal.serverUrl = u"https://mdm.example.co.jp:8443/rpc/";
  journal.protectedCodes = std::string("\x00\x01\xfe\xff protected", 14);
  journal.packageSize = 1234567;
  for (std::size_t i = 0; i < journal.packageSha256.size(); ++i) journal.packageSha256[i] = static_cast<unsigned char>(i * 7);
  return journal;
}

void expectSame(const ReplacementJournal& a, const ReplacementJournal& b, const char* what) {
  EXPECT_EQ(a.step, b.step) << what;
  EXPECT_EQ(a.attempts, b.attempts) << what;
  EXPECT_EQ(a.oldProductCode, b.oldProductCode) << what;
  EXPECT_EQ(a.oldVersion, b.oldVersion) << what;
  EXPECT_EQ(a.newProductCode, b.newProductCode) << what;
  EXPECT_EQ(a.serverUrl, b.serverUrl) << what;
  EXPECT_EQ(a.protectedCodes, b.protectedCodes) << what;
  EXPECT_EQ(a.packageSize, b.packageSize) << what;
  EXPECT_EQ(a.packageSha256, b.packageSha256) << what;
}

// A journal's bytes with one line's value replaced and the seal made anew over them, as a writer that knows
// the format (but not its rules) would make it.
std::string resealed(std::string bytes, const std::string& name, const std::string& value) {
  const std::size_t start = bytes.find("\n" + name + "=") + 1;
  const std::size_t end = bytes.find('\n', start);
  bytes.replace(start, end - start, name + "=" + value);
  const std::size_t seal = bytes.rfind("Seal=");
  bytes.erase(seal);
  const auto digest = sha256Of(bytes);
  return bytes + "Seal=" + toHex(std::string(reinterpret_cast<const char*>(digest->data()), digest->size())) + "\n";
}

TEST(Journal, ReadsBackWhatItWrote) {
  const struct {
    const char* what;
    void (*change)(ReplacementJournal&);
  } cases[] = {
      {"every field set", [](ReplacementJournal&) {}},
      {"before the uninstall, no codes, no version", [](ReplacementJournal& j) {
         j.step = JournalStep::Uninstall;
         j.attempts = 0;
         j.oldVersion.clear();
         j.protectedCodes.clear();
       }},
      {"a server with non-ASCII in its path", [](ReplacementJournal& j) { j.serverUrl = u"https://サーバー.example/rpc/"; }},
      {"lower-case product codes", [](ReplacementJournal& j) { j.newProductCode = u"{0b5c9e1d-7a42-4f63-8e2b-51d0c3a9f6e4}"; }},
  };
  for (const auto& c : cases) {
    ReplacementJournal written = sampleJournal();
    c.change(written);
    const auto bytes = formatJournal(written);
    ASSERT_TRUE(bytes) << c.what;
    ReplacementJournal read;
    ASSERT_EQ(parseJournal(*bytes, read), JournalDefect::None) << c.what << "\n" << *bytes;
    expectSame(read, written, c.what);
  }
}

TEST(Journal, WritesNothingTheFormatCannotCarry) {
  const struct {
    const char* what;
    void (*change)(ReplacementJournal&);
  } cases[] = {
      {"an old product code that is no GUID", [](ReplacementJournal& j) { j.oldProductCode = u"{6F1A2B3C}"; }},
      {"a new product code with a line break",
       [](ReplacementJournal& j) { j.newProductCode = u"{0B5C9E1D-7A42-4F63-8E2B-51D0C3A9F6E4}\nStep=Install"; }},
      {"a server URL with a line break", [](ReplacementJournal& j) { j.serverUrl = u"https://a/rpc/\nAttempts=0"; }},
      {"no server URL", [](ReplacementJournal& j) { j.serverUrl.clear(); }},
      {"a version that is not three numbers", [](ReplacementJournal& j) { j.oldVersion = u"5.1"; }},
      {"an empty package", [](ReplacementJournal& j) { j.packageSize = 0; }},
  };
  for (const auto& c : cases) {
    ReplacementJournal journal = sampleJournal();
    c.change(journal);
    EXPECT_FALSE(formatJournal(journal)) << c.what;
  }
}

// Whatever length a journal is cut to, it is never read as a journal: a power cut while it was written (which
// the durable write rules out) or a disk that lost its end must not leave half a journal that is acted on.
TEST(Journal, RefusesAJournalCutAtEveryLength) {
  const std::string bytes = *formatJournal(sampleJournal());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    ReplacementJournal read;
    EXPECT_EQ(parseJournal(bytes.substr(0, length), read), JournalDefect::Cut) << "cut at " << length;
  }
}

TEST(Journal, RefusesWhatThisWriterNeverWrote) {
  const std::string good = *formatJournal(sampleJournal());
  std::string flipped = good;
  flipped[good.find("Attempts=2") + 9] = '0';  // the count of tries set back, the seal left as it was
  std::string otherFormat = good;
  otherFormat.replace(otherFormat.find("Format=1"), 8, "Format=2");
  const struct {
    const char* what;
    std::string bytes;
    JournalDefect defect;
  } cases[] = {
      {"another file", "[CERT]\r\nCompanyCode=C-1\r\n", JournalDefect::NotAJournal},
      {"UTF-16 text", std::string("\xff\xfeQ\0u\0", 6), JournalDefect::NotAJournal},
      {"another format", otherFormat, JournalDefect::OtherFormat},
      {"a changed byte", flipped, JournalDefect::SealMismatch},
      {"lines after the seal", good + "Step=Uninstall\n", JournalDefect::Cut},
      {"CR LF line ends", [&] {
         std::string crlf;
         for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return crlf;
       }(), JournalDefect::NotAJournal},
      {"an unknown step", resealed(good, "Step", "Finish"), JournalDefect::BadField},
      {"a count of tries that is no number", resealed(good, "Attempts", "-1"), JournalDefect::BadField},
      {"a product code that is no GUID", resealed(good, "NewProductCode", "{0B5C9E1D}"), JournalDefect::BadField},
      {"a version of two numbers", resealed(good, "OldVersion", "5.1"), JournalDefect::BadField},
      {"codes in upper-case hex", resealed(good, "Codes", "00FF"), JournalDefect::BadField},
      {"codes of an odd length", resealed(good, "Codes", "0ff"), JournalDefect::BadField},
      {"a package of no bytes", resealed(good, "PackageSize", "0"), JournalDefect::BadField},
      {"a package size with a leading zero", resealed(good, "PackageSize", "01"), JournalDefect::BadField},
      {"a short digest", resealed(good, "PackageSha256", "abcd"), JournalDefect::BadField},
      {"an empty server", resealed(good, "ServerUrl", ""), JournalDefect::BadField},
      {"a line left out", [&] {
         std::string bytes = resealed(good, "OldVersion", "5.1.0");
         const std::size_t start = bytes.find("OldVersion=");
         bytes.erase(start, bytes.find('\n', start) + 1 - start);
         return resealed(bytes, "Step", "Install");
       }(), JournalDefect::BadField},
      {"a line given twice", [&] {
         std::string bytes = good;
         bytes.insert(bytes.find("Attempts="), "Step=Install\n");
         return resealed(bytes, "Attempts", "2");
       }(), JournalDefect::BadField},
  };
  for (const auto& c : cases) {
    ReplacementJournal read;
    EXPECT_EQ(parseJournal(c.bytes, read), c.defect) << c.what;
  }
}

TEST(Journal, HexReadsBackAndRefusesAnythingElse) {
  const std::string all = [] {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes;
  }();
  EXPECT_EQ(fromHex(toHex(all)), all);
  for (const char* bad : {"0", "0g", "AB", "a b"}) EXPECT_FALSE(fromHex(bad)) << bad;
}

TEST(FinishDecision, FollowsTheJournalAndThePc) {
  using A = InstalledAgent;
  using F = FinishAction;
  const unsigned last = kFinishAttemptsLimit - 1;
  const struct {
    const char* what;
    FinishFacts facts;
    FinishAction action;
  } cases[] = {
      {"new agent installed", {true, A::New, 0, true}, F::CleanUpDone},
      {"new agent installed, copy changed, bound reached", {true, A::New, kFinishAttemptsLimit, false}, F::CleanUpDone},
      {"another agent installed meanwhile", {true, A::Other, 1, true}, F::CleanUpDone},
      {"old agent still installed", {true, A::Old, 0, true}, F::CleanUpOldAgent},
      {"old agent, copy changed", {true, A::Old, 0, false}, F::CleanUpOldAgent},
      {"neither: install", {true, A::None, 0, true}, F::Install},
      {"neither, the last try left", {true, A::None, last, true}, F::Install},
      {"neither, bound reached", {true, A::None, kFinishAttemptsLimit, true}, F::GiveUp},
      {"neither, package copy changed", {true, A::None, 0, false}, F::RefuseJournal},
      {"journal unreadable, no agent", {false, A::None, 0, true}, F::RefuseJournal},
      {"journal unreadable, an agent installed", {false, A::Other, 0, false}, F::RefuseJournalAgent},
  };
  for (const auto& c : cases) EXPECT_EQ(decideFinish(c.facts), c.action) << c.what;
}

}  // namespace
