// The package download through the real platform request (WinHTTP under Wine, libcurl on Linux) against the
// local distribution server: what lands on disk for every kind of answer.
#include "helper/ContentLength.h"
#include "helper/Helper.h"
#include "helper/PackageFile.h"
#include "helper/VerifiedWriter.h"
#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Sha256.h"
#include "platform/Text.h"
#include "tests/unit/support/DistributionServer.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace quillon;
using namespace std::chrono_literals;
using namespace testing_support;

namespace {

const std::string kOldFile = madeUpBytes(300'000, 7);  // larger than every body below but the large ones

// The download's own log lines, up to the line number.
const std::u16string kDownloadLine = u"INFO FILE:Helper.cpp FUNCTION:Helper::downloadFile LINE:";

class DownloadFileTest : public DistributionServerTest {
 protected:
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  ServedFolder folder;
  fs::path target = temp.path() / "NewQuillonAgent.msi";

  bool download(const std::u16string& url) const {
    return Helper::downloadFile(url.c_str(), pathText(target).c_str());
  }
  std::optional<std::string> stored() const {
    if (!fs::exists(target)) return std::nullopt;
    return readBytes(target);
  }
};

TEST_F(DownloadFileTest, A200StoresExactlyTheBodyInPlaceOfAnOldFile) {
  const struct {
    const char* what;
    std::u16string base;
    std::size_t size;
    std::u16string modes;
  } cases[] = {
      {"https", httpsBase(), 100'000, u""},
      {"http", httpBase(), 100'000, u""},
      {"one byte", httpsBase(), 1, u""},
      {"a body larger than the old file", httpsBase(), 3'000'000, u""},
      {"chunked transfer encoding", httpsBase(), 1'000'000, u"chunked"},
      {"a redirect on the same scheme", httpsBase(), 50'000, u"redirect=302"},
      {"a redirect from http to https", httpBase(), 50'000, u"redirect=301,to=https"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeBytes(target, kOldFile);
    const std::string body = madeUpBytes(c.size, static_cast<unsigned>(c.size));
    const std::u16string path = folder.put("agent.msi", body);
    EXPECT_TRUE(download(c.base + (c.modes.empty() ? path : faulty(c.modes, path))));
    EXPECT_EQ(stored(), body);  // byte for byte, nothing of the old file left
  }
}

TEST_F(DownloadFileTest, AnyOtherStatusFailsAtOnceAndLeavesTheOldFileAsItWas) {
  const std::u16string path = folder.put("agent.msi", madeUpBytes(10'000));
  for (const char16_t* modes : {u"status=404", u"status=403", u"status=501", u"status=206", u"status=204",
                                u"status=302", u"redirect=302,to=http"}) {
    SCOPED_TRACE(toUtf8(modes));
    writeBytes(target, kOldFile);
    fs::remove(toPath(runLogPath()));
    EXPECT_FALSE(download(httpsBase() + faulty(modes, path)));
    EXPECT_EQ(stored(), kOldFile);
    EXPECT_EQ(runLogEntries(), std::vector<std::u16string>{});  // not tried again
  }
}

TEST_F(DownloadFileTest, AFailureThatMayPassIsTriedAgainWithinTheBound) {
  // The bound is 3 s here (QUILLON_TEST_RETRY_SECONDS), the pauses shortened alike; a Retry-After is honoured.
  const std::string body = madeUpBytes(50'000);
  const struct {
    const char* what;
    std::u16string modes;
    bool downloaded;
    std::u16string retry;  // every retry's line
    std::chrono::seconds atLeast;
  } cases[] = {
      {"503 twice", u"status=503,times=2", true, u"ResponseCode =503 Retry(0)", 0s},
      {"429 with a Retry-After", u"status=429,retry-after=1,times=1", true, u"ResponseCode =429 Retry(1)", 1s},
      {"500 every time", u"status=500", false, u"ResponseCode =500 Retry(0)", 0s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeBytes(target, kOldFile);
    fs::remove(toPath(runLogPath()));
    const auto start = std::chrono::steady_clock::now();
    const std::u16string path = folder.put("agent-" + std::to_string(&c - cases) + ".msi", body);
    EXPECT_EQ(download(httpsBase() + faulty(c.modes, path)), c.downloaded);
    EXPECT_GE(std::chrono::steady_clock::now() - start, c.atLeast);
    EXPECT_EQ(stored(), c.downloaded ? body : kOldFile);
    const std::vector<std::u16string> log = runLogEntries();
    EXPECT_GE(log.size(), c.downloaded ? 1u : 2u);
    for (const std::u16string& entry : log) EXPECT_EQ(entry, kDownloadLine + u"495 " + c.retry);
  }
}

TEST_F(DownloadFileTest, AMissingFileOnTheServerIsA404) {
  EXPECT_FALSE(download(httpsBase() + folder.urlPath("no-such.msi")));
  EXPECT_EQ(stored(), std::nullopt);
}

TEST_F(DownloadFileTest, AnEmptyBodyFailsAndLeavesAnEmptyFile) {
  writeBytes(target, kOldFile);
  EXPECT_FALSE(download(httpsBase() + faulty(u"empty", folder.put("agent.msi", "x"))));
  EXPECT_EQ(stored(), std::string());
}

TEST_F(DownloadFileTest, ACutDownloadGoesOnFromTheBytesHeldOnlyWhereTheServerVouchesForTheRest) {
  const std::string body = madeUpBytes(500'000);
  const std::string republished = madeUpBytes(500'000, 2);  // the package changed on the server, same size
  const struct {
    const char* what;
    std::u16string modes;  // the first transfer is cut after 123456 bytes; OTHER: the republished package
    std::vector<bool> askedForTheRest;  // per request
    bool resumed;
  } cases[] = {
      {"the rest comes with a 206", u"truncate=123456,times=1", {false, true}, true},
      {"a server that ignores the range: a 200, the file starts over", u"truncate=123456,times=1;no-ranges",
       {false, true}, false},
      {"the file changed: If-Range fails, a 200", u"truncate=123456,etag=old,times=1", {false, true}, false},
      {"a 206 a byte later: a failed try, then the whole", u"truncate=123456,times=1;wrong-range=offset,times=1",
       {false, true, false}, false},
      {"a 206 of another total: likewise", u"truncate=123456,times=1;wrong-range=total,times=1",
       {false, true, false}, false},
      {"no validator to ask with: the file starts over", u"truncate=123456,no-validators,times=1", {false, false},
       false},
      // Never a file of two versions: a range under another ETag is a failed try, then the whole new package.
      {"a cache that ignores If-Range serves a range of the changed package",
       u"truncate=123456,times=1;serve=OTHER,ignore-if-range", {false, true, false}, false},
  };
  int served = 0;  // each case its own file, so that the server counts its requests apart
  for (const std::u16string& base : {httpsBase(), httpBase()}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(toUtf8(base) + ": " + c.what);
      writeBytes(target, kOldFile);
      fs::remove(toPath(runLogPath()));
      const std::u16string path = folder.put("agent-" + std::to_string(++served) + ".msi", body);
      const std::u16string other = folder.put("changed-" + std::to_string(served) + ".msi", republished);
      std::u16string modes = c.modes;
      const std::size_t placeholder = modes.find(u"OTHER");
      if (placeholder != std::u16string::npos) {
        std::u16string escaped;  // a fault in the URL is one path segment
        for (const char16_t c : other) escaped += c == u'/' ? std::u16string(u"%2F") : std::u16string(1, c);
        modes.replace(placeholder, 5, escaped);
      }
      EXPECT_TRUE(download(base + faulty(modes, path)));
      EXPECT_EQ(stored(), placeholder == std::u16string::npos ? body : republished);  // byte for byte

      const std::vector<std::string> requests = requestsContaining(path);
      ASSERT_EQ(requests.size(), c.askedForTheRest.size());
      for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].find("\"Range\": \"bytes=123456-\"") != std::string::npos, c.askedForTheRest[i])
            << requests[i];
        EXPECT_EQ(requests[i].find("\"If-Range\": ") != std::string::npos, c.askedForTheRest[i]) << requests[i];
      }
      std::vector<int> lines;
      for (const std::u16string& entry : runLogEntries()) {
        ASSERT_EQ(entry.substr(0, kDownloadLine.size()), kDownloadLine);
        lines.push_back(std::stoi(toUtf8(entry.substr(kDownloadLine.size(), 3))));
        if (lines.back() == 497) {
          EXPECT_EQ(entry.substr(kDownloadLine.size()), u"497 Resume(123456/500000)");
        }
      }
      std::vector<int> expected(c.askedForTheRest.size() - 1, 495);
      if (c.resumed) expected.push_back(497);
      EXPECT_EQ(lines, expected);
    }
  }
}

TEST_F(DownloadFileTest, ADownloadCutEveryTimeFailsPastTheBoundAndKeepsWhatArrived) {
  // 1000 bytes a try: far from the whole within 12 tries.
  const std::string body = madeUpBytes(500'000);
  writeBytes(target, kOldFile);
  EXPECT_FALSE(download(httpsBase() + faulty(u"truncate=1000", folder.put("agent.msi", body))));
  const std::optional<std::string> kept = stored();
  ASSERT_TRUE(kept);
  EXPECT_GE(kept->size(), 2000u);
  EXPECT_LE(kept->size(), 12'000u);
  EXPECT_EQ(*kept, body.substr(0, kept->size()));
}

TEST_F(DownloadFileTest, APathWithABlankIsSentEscaped) {
  const std::string body = madeUpBytes(20'000);
  const std::u16string path = folder.put("new agent.msi", body);
  EXPECT_TRUE(download(httpsBase() + path));
  EXPECT_EQ(stored(), body);
}

TEST_F(DownloadFileTest, AServerThatCannotBeReachedFailsWithoutTouchingTheFile) {
  writeBytes(target, kOldFile);
  EXPECT_FALSE(download(u"http://localhost:1/agent.msi"));
  EXPECT_FALSE(download(u"not a url"));
  EXPECT_EQ(stored(), kOldFile);
}

TEST_F(DownloadFileTest, AnOldEntryThatCannotBeDeletedFailsTheDownloadInsteadOfBeingAppendedTo) {
  // A folder where the package belongs cannot be deleted as a file (nor appended to).
  fs::create_directories(target / "inside");
  EXPECT_FALSE(download(httpsBase() + folder.put("agent.msi", madeUpBytes(1000))));
  EXPECT_TRUE(fs::is_directory(target / "inside"));
}

TEST_F(DownloadFileTest, AFolderThatDoesNotExistFails) {
  target = temp.path() / "missing" / "NewQuillonAgent.msi";
  EXPECT_FALSE(download(httpsBase() + folder.put("agent.msi", madeUpBytes(1000))));
  EXPECT_FALSE(fs::exists(target.parent_path()));
}

TEST_F(DownloadFileTest, AsksCachesOnTheWayForAFreshCopy) {
  const std::u16string path = folder.put("agent.msi", madeUpBytes(1000));
  ASSERT_TRUE(download(httpsBase() + path));
  const std::vector<std::string> requests = requestsContaining(path);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].find("\"Cache-Control\": \"no-cache\""), std::string::npos) << requests[0];
  EXPECT_NE(requests[0].find("\"Pragma\": \"no-cache\""), std::string::npos) << requests[0];
}

TEST_F(DownloadFileTest, AWriteFailureMidBodyFailsAndKeepsTheBytesWrittenSoFar) {
  const char* fullFs = std::getenv("QUILLON_FULL_FS");
  if (fullFs == nullptr || !fs::is_directory(fullFs)) {
    GTEST_SKIP() << "no small file system: run the tests through ctest, as root";
  }
  // The file system holds 256 KiB; the body is four times that.
  target = fs::path(fullFs) / ("agent-" + fs::unique_path("%%%%%%%%").string() + ".msi");
  const std::string body = madeUpBytes(1 << 20);
  EXPECT_FALSE(download(httpsBase() + folder.put("agent.msi", body)));
  const std::optional<std::string> kept = stored();
  fs::remove(target);
  ASSERT_TRUE(kept);
  EXPECT_GT(kept->size(), 0u);
  EXPECT_LT(kept->size(), body.size());
  EXPECT_EQ(*kept, body.substr(0, kept->size()));
}

TEST_F(DownloadFileTest, AStalledServerEndsTheDownloadWithinTheTimeOuts) {
  // The server sends the headers and some of the body, then nothing: the receive time-out (30 s, as WinHTTP's
  // default) ends it. The one slow test of the download.
  const std::string body = madeUpBytes(200'000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(download(httpsBase() + faulty(u"stall-after=1000", folder.put("agent.msi", body))));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(seconds.count(), 45);
  EXPECT_EQ(stored(), body.substr(0, 1000));
}

TEST_F(DownloadFileTest, MemoryDoesNotGrowWithThePackage) {
  // Each download runs in a fresh copy of this program, which reports its peak memory afterwards.
  const auto peakFor = [&](std::size_t size) {
    const std::u16string url = httpBase() + folder.put("large-" + std::to_string(size) + ".msi", madeUpBytes(size));
    ChildProcess child({"--child=download", toUtf8(url), (temp.path() / "large.msi").string()});
    const std::string line = child.readLine();
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(line.substr(0, 5), "true ") << line;
    EXPECT_EQ(fs::file_size(temp.path() / "large.msi"), size);
    return std::atol(line.c_str() + line.find(' ') + 1);
  };
  const long small = peakFor(4 << 20);
  const long large = peakFor(128 << 20);
  EXPECT_LT(large - small, 16 * 1024) << "peak KiB: " << small << " for 4 MiB, " << large << " for 128 MiB";
}

// The package file from its creation by the download to the end of its hold.
class PackageFileTest : public ::testing::Test {
 protected:
  TempDirectory temp;
  fs::path target = temp.path() / "NewQuillonAgent.msi";
  const std::string body = madeUpBytes(300'000, 3);

  bool writeBody(PackageFile& package) const {
    return package.create(pathText(target)) && package.append(body.data(), body.size());
  }
};

TEST_F(PackageFileTest, NoOtherProgramCanChangeRenameOrDeleteItWhileWrittenOrHeldAndAnyCanReadItHeld) {
  if (!runsOnWindows()) GTEST_SKIP() << "Linux has no share modes: there the hold proves the bytes once";
  const fs::path other = temp.path() / "other.msi";
  const auto expectUntouchable = [&] {
    boost::system::error_code error;
    EXPECT_THROW(writeBytes(target, "swapped"), std::runtime_error);
    fs::rename(target, temp.path() / "away.msi", error);
    EXPECT_TRUE(error) << "renamed away";
    writeBytes(other, "another package");
    fs::rename(other, target, error);
    EXPECT_TRUE(error) << "replaced";
    fs::remove(target, error);
    EXPECT_TRUE(error) << "deleted";
  };
  PackageFile package;
  ASSERT_TRUE(writeBody(package));
  expectUntouchable();
  ASSERT_TRUE(package.holdAsWritten());
  expectUntouchable();
  EXPECT_EQ(readBytes(target), body);  // as the package check and the installer read it
}

// What was appended is what is held, whatever its length and the pieces it came in: the writer's ring of
// blocks is filled, wrapped and left part-full every way, and a restart starts the file over.
TEST_F(PackageFileTest, HoldsExactlyWhatWasAppendedWhateverItsLengthAndPieces) {
  constexpr std::size_t block = VerifiedWriter::kBlockSize;
  constexpr std::size_t ring = VerifiedWriter::kBlocks * block;
  const struct {
    const char* what;
    std::size_t size;
    std::size_t restartAfter;  // appended before a restart (0: none)
  } cases[] = {
      {"an empty package", 0, 0},
      {"one byte", 1, 0},
      {"a block less one byte", block - 1, 0},
      {"one block", block, 0},
      {"a block and one byte", block + 1, 0},
      {"the whole ring", ring, 0},
      {"the ring and one byte", ring + 1, 0},
      {"the ring three times and some", 3 * ring + 12345, 0},
      {"after a restart half-way through the ring", block + 7, 2 * block + 3},
  };
  const std::size_t pieces[] = {1, 4099, 65537, block + 3, 7};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = madeUpBytes(c.size, 5);
    PackageFile package;
    ASSERT_TRUE(package.create(pathText(target)));
    if (c.restartAfter > 0) {
      const std::string before = madeUpBytes(c.restartAfter, 6);
      ASSERT_TRUE(package.append(before.data(), before.size()));
      ASSERT_TRUE(package.restart());
    }
    for (std::size_t at = 0, piece = 0; at < bytes.size(); ++piece) {
      const std::size_t size = std::min(pieces[piece % std::size(pieces)], bytes.size() - at);
      ASSERT_TRUE(package.append(bytes.data() + at, size));
      at += size;
    }
    EXPECT_TRUE(package.holdAsWritten());
    EXPECT_EQ(readBytes(target), bytes);
  }
}

TEST_F(PackageFileTest, AFileChangedBeforeTheHoldIsNotHeldAsWritten) {
  if (runsOnWindows()) GTEST_SKIP() << "no other program can change it on Windows (the test above)";
  // Changed behind the writer's back, in the part already written and read back (a ring's worth appended
  // after it has made the writer finish its first block), while the writing goes on.
  const std::string more = madeUpBytes(VerifiedWriter::kBlocks * VerifiedWriter::kBlockSize, 4);
  const struct {
    const char* what;
    std::function<void()> change;
  } cases[] = {
      {"a byte overwritten", [&] {
         std::fstream file(target.string(), std::ios::in | std::ios::out | std::ios::binary);
         file.put('!');
       }},
      {"another file put at the name", [&] {
         fs::remove(target);
         writeBytes(target, body);
       }},
      {"a second name given to it", [&] { fs::create_hard_link(target, temp.path() / "second.msi"); }},
      // Neither opens the file: the hole that the writing goes on past shows, or the length.
      {"cut shorter by its name", [&] { fs::resize_file(target, body.size() / 2); }},
      {"made longer by its name", [&] { fs::resize_file(target, body.size() + 2 * more.size() + 1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(temp.path() / "second.msi");
    PackageFile package;
    ASSERT_TRUE(writeBody(package));
    ASSERT_TRUE(package.append(more.data(), more.size()));
    c.change();
    package.append(more.data(), more.size());
    EXPECT_FALSE(package.holdAsWritten());
  }
  PackageFile untouched;
  ASSERT_TRUE(writeBody(untouched));
  EXPECT_TRUE(untouched.holdAsWritten());
}

TEST_F(PackageFileTest, AShortWriteIsNotHeldAsWritten) {
  const char* fullFs = std::getenv("QUILLON_FULL_FS");
  if (fullFs == nullptr || !fs::is_directory(fullFs)) {
    GTEST_SKIP() << "no small file system: run the tests through ctest, as root";
  }
  // The file system holds 256 KiB: the writer's blocks fill it part-way through the second.
  target = fs::path(fullFs) / ("package-" + fs::unique_path("%%%%%%%%").string() + ".msi");
  const std::string bytes = madeUpBytes(1 << 20);
  PackageFile package;
  ASSERT_TRUE(package.create(pathText(target)));
  package.append(bytes.data(), bytes.size());
  EXPECT_FALSE(package.holdAsWritten());
  package.discard();
  EXPECT_FALSE(fs::exists(target));
}

// A cancelled run removes the file it created through a handle on that file, while it is written or once
// held; never a file another program has put at the name meanwhile.
TEST_F(PackageFileTest, DiscardRemovesTheFileItCreatedAndNoOther) {
  const struct {
    const char* what;
    bool hold;
    bool replaced;  // another file put at the name before the discard (only where that can be done)
  } cases[] = {
      {"while it is written", false, false},
      {"once it is held", true, false},
      {"after another file was put at the name", false, true},
  };
  for (const auto& c : cases) {
    if (c.replaced && runsOnWindows()) continue;  // nobody can rename or delete it there
    SCOPED_TRACE(c.what);
    PackageFile package;
    ASSERT_TRUE(writeBody(package));
    if (c.hold) {
      ASSERT_TRUE(package.holdAsWritten());
    }
    if (c.replaced) {
      fs::rename(target, temp.path() / "moved.msi");
      writeBytes(target, "another program's file");
    }
    package.discard();
    if (c.replaced) {
      EXPECT_EQ(readBytes(target), "another program's file");
      fs::remove(target);
    }
    EXPECT_FALSE(fs::exists(target));
  }
}

// The platform's SHA-256 (the benchmark times it): known digests, whatever pieces the bytes arrive in.
TEST(Sha256, GivesTheKnownDigestsWhateverPiecesTheBytesComeIn) {
  const struct {
    const char* what;
    std::string bytes;
    const char* digest;
  } cases[] = {
      {"nothing", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"a million a", std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {"several buffers", std::string(2'500'001, 'a'),
       "ccfab911b30d2eeb510e64fdc8d631c8c7b07ace0ef720c2e37c81c92a6cfe3a"},
  };
  const auto hex = [](const std::optional<Sha256Digest>& digest) {
    if (!digest) return std::string("no digest");
    std::string text;
    for (unsigned char byte : *digest) {
      text += "0123456789abcdef"[byte >> 4];
      text += "0123456789abcdef"[byte & 15];
    }
    return text;
  };
  // Pieces that straddle the 64-byte blocks every way: shorter, just below and above one, several at once.
  const std::size_t pieces[] = {1, 63, 65, 127, 4099, 65537};
  const auto inPieces = [&](const std::string& bytes, const std::function<void(const char*, std::size_t)>& give) {
    for (std::size_t at = 0, piece = 0; at < bytes.size(); ++piece) {
      const std::size_t size = std::min(pieces[piece % std::size(pieces)], bytes.size() - at);
      give(bytes.data() + at, size);
      at += size;
    }
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sha256 whole;
    whole.update(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(hex(whole.finish()), c.digest);
    Sha256 split;
    inPieces(c.bytes, [&](const char* data, std::size_t size) { split.update(data, size); });
    EXPECT_EQ(hex(split.finish()), c.digest);
  }
}

// The announced length that catches a cut-off body. Found by fuzzing: an empty value counted as 0 (a
// whole package would have been refused), and the last few values below 2^64 were refused.
TEST(ParseContentLength, TakesOnlyDigitsWithinSixtyFourBits) {
  const struct {
    std::u16string_view text;
    std::optional<std::uint64_t> length;
  } cases[] = {
      {u"0", 0},
      {u"123456", 123456},
      {u"0042", 42},
      {u"18446744073709551610", 18446744073709551610ULL},
      {u"18446744073709551615", 18446744073709551615ULL},
      {u"18446744073709551616", std::nullopt},
      {u"99999999999999999999999", std::nullopt},
      {u"", std::nullopt},
      {u" 5", std::nullopt},
      {u"5, 5", std::nullopt},
      {u"+5", std::nullopt},
      {u"-1", std::nullopt},
      {u"\uFF15", std::nullopt},  // a full-width digit
  };
  for (const auto& c : cases) EXPECT_EQ(parseContentLength(c.text), c.length) << toUtf8(c.text);
}

}  // namespace
