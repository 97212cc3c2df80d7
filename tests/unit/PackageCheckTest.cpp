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

using namespace quillon;
using namespace testing_support;

namespace {

const std::u16string kLogStart = u"ERROR FILE:Helper.cpp FUNCTION:Helper::checkAgentPackage LINE:";

std::string package(const char* name) { return readBytes(fs::path(QUILLON_TEST_PACKAGE_DIR) / name); }

TEST(PackageCheck, ProvesTheWholePackageAndNamesWhatIsWrong) {
  const std::string whole = package("new-agent.msi");
  ASSERT_GT(whole.size(), 100000u) << "the package carries its cabinet";
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::u16string> log;  // any one of these is the expected line
  };
  const std::vector<Case> cases = {
      {"the package", whole, {}},
      {"an HTML page", "<html><body>Please log in</body></html>", {kLogStart + u"512 Package Open Error(1627)"}},
      {"an empty file", "", {kLogStart + u"512 Package Open Error(1627)"}},
      {"without the transform", package("new-agent-without-transform.msi"), {kLogStart + u"528 Transform 1041 Missing"}},
      // Cut inside the cabinet, the last stream: the tables still read. A reader either fails the stream's
      // read or, when its directory entry runs past the end of the file, leaves the stream out.
      {"cut at 20000 bytes", whole.substr(0, 20000),
       {kLogStart + u"535 Stream Read Error(13) agent.cab", kLogStart + u"541 Cabinet Missing agent.cab"}},
      {"cut 8 KiB short", whole.substr(0, whole.size() - 8192),
       {kLogStart + u"535 Stream Read Error(13) agent.cab"}},
  };
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  const fs::path file = temp.path() / "NewQuillonAgent.msi";
  for (const Case& c : cases) {
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
