// The package check before anything is uninstalled, on each build's own installer database reader: the
// test agent package whole, and the ways a download or a server spoils it.
#include "helper/Helper.h"
#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace quillon;
using namespace testing_support;

namespace {

const std::u16string kLogStart = u"ERROR FILE:Helper.cpp FUNCTION:Helper::checkAgentPackage LINE:";

std::string package(const char* name) { return readBytes(fs::path(QUILLON_TEST_PACKAGE_DIR) / name); }

// The compound file's map, as a broken or hostile server may damage it: `bytes` with `replacement` at
// `offset` (beyond the end: appended).
std::string le32(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}
std::uint32_t u32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}
std::string with(std::string bytes, std::size_t offset, const std::string& replacement) {
  bytes.resize(std::max(bytes.size(), offset + replacement.size()));
  return bytes.replace(offset, replacement.size(), replacement);
}

// Ends the test program, naming the case, when a case outlives its bound: a check that hangs must fail
// the run, not stall it.
class CaseBound {
 public:
  CaseBound(const std::string& what, std::chrono::seconds bound)
      : watcher_([this, what, bound] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!ended_.wait_for(lock, bound, [this] { return done_; })) {
            std::fprintf(stderr, "%s: still running after %d s\n", what.c_str(), static_cast<int>(bound.count()));
            std::_Exit(1);
          }
        }) {}
  ~CaseBound() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_one();
    watcher_.join();
  }
  CaseBound(const CaseBound&) = delete;
  CaseBound& operator=(const CaseBound&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread watcher_;  // last, so that it starts once the members it uses are there
};

TEST(PackageCheck, ProvesTheWholePackageAndNamesWhatIsWrong) {
  const std::string whole = package("new-agent.msi");
  ASSERT_GT(whole.size(), 100000u) << "the package carries its cabinet";
  struct Case {
    std::string what;
    std::string bytes;
    std::vector<std::u16string> log;  // any one of these is the expected line
  };
  // Where the map of the package (512-byte sectors) says its parts lie.
  const std::uint32_t sectors = static_cast<std::uint32_t>(whole.size() / 512 - 1);
  const auto fatEntry = [&](std::uint32_t sector) {  // where the FAT's entry for a sector is
    return (u32At(whole, 0x4C + 4 * (sector / 128)) + 1) * 512 + 4 * (sector % 128);
  };
  // The directory entry of the largest stream, the cabinet: where it says how long the stream is.
  std::size_t cabinetSize = 0;
  for (std::uint32_t sector = u32At(whole, 0x30); sector < sectors; sector = u32At(whole, fatEntry(sector))) {
    for (std::size_t size = (sector + 1) * 512 + 0x78; size < (sector + 2) * 512; size += 128) {
      if (whole[size - 0x78 + 0x42] == 2 && (cabinetSize == 0 || u32At(whole, size) > u32At(whole, cabinetSize))) {
        cabinetSize = size;
      }
    }
  }
  const std::u16string invalid = kLogStart + u"512 Package Open Error(1620)";
  std::vector<Case> cases = {
      {"the package", whole, {}},
      {"an HTML page", "<html><body>Please log in</body></html>", {invalid}},
      {"an empty file", "", {invalid}},
      {"without the transform", package("new-agent-without-transform.msi"), {kLogStart + u"528 Transform 1041 Missing"}},
      {"4096-byte sectors in a version 3 file", with(whole, 0x1E, std::string("\x0c\x00", 2)), {invalid}},
      {"a FAT entry beyond the end", with(whole, fatEntry(u32At(whole, 0x30)), le32(sectors + 100)), {invalid}},
      {"a sector beyond the end allocated", with(whole, fatEntry(sectors + 5), le32(0xFFFFFFFE)), {invalid}},
      {"a directory in a free sector", with(whole, 0x30, le32(sectors + 1)), {invalid}},
      // One DIFAT sector, appended, whose next is itself: a chain without end, of "4294967295 sectors".
      {"a DIFAT loop",
       with(with(whole, 0x44, le32(sectors) + le32(0xFFFFFFFF)), whole.size(), std::string(508, '\xff') + le32(sectors)),
       {invalid}},
      // The map is whole, but the cabinet claims more than its sectors hold (as a reader sees a cut).
      {"a stream longer than its sectors", with(whole, cabinetSize, le32(u32At(whole, cabinetSize) + 4096)),
       {kLogStart + u"535 Stream Read Error(13) agent.cab", kLogStart + u"541 Cabinet Missing agent.cab"}},
  };
  // Cut short: within the header, the FAT, the directory and the tables (where the installer's database
  // code, given the file, can hang or crash the process), and inside the cabinet, the last stream.
  const std::vector<std::size_t> cuts = {512, 2048, 3000, 4096, 6000, 8192, 20000, whole.size() - 8192};
  for (const std::size_t cut : cuts) {
    cases.push_back({"cut at " + std::to_string(cut) + " bytes", whole.substr(0, cut), {invalid}});
  }
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  const fs::path file = temp.path() / "NewQuillonAgent.msi";
  for (const Case& c : cases) {
    const CaseBound bound(c.what, std::chrono::seconds(60));
    fs::remove(toPath(runLogPath()));
    writeBytes(file, c.bytes);
    EXPECT_EQ(Helper::checkAgentPackage(pathText(file).c_str()), c.log.empty()) << c.what;
    const std::vector<std::u16string> log = runLogEntries();
    if (c.log.empty()) {
      EXPECT_TRUE(log.empty()) << c.what;
    } else {
      ASSERT_EQ(log.size(), 1u) << c.what;
      EXPECT_NE(std::find(c.log.begin(), c.log.end(), log[0]), c.log.end()) << c.what << ": " << toUtf8(log[0]);
    }
    EXPECT_EQ(readBytes(file), c.bytes) << c.what << ": the file is left as it is";
  }
}

}  // namespace
