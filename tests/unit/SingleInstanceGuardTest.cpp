// The single-instance guard with real processes: every copy is a child started from this test program.
#include "helper/Helper.h"
#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace quillon;
using namespace testing_support;

namespace {

class SingleInstanceGuardTest : public ::testing::Test {
 protected:
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  ScopedEnvironment lockDirectory{"QUILLON_LOCK_DIR", temp.path().string()};  // private to this test (Linux)

  // A copy that has taken the guard and holds it until released, ended or killed.
  static std::unique_ptr<ChildProcess> startCopy() { return std::make_unique<ChildProcess>(std::vector<std::string>{"--child=guard"}); }
  static void release(ChildProcess& copy) {
    copy.closeInput();
    EXPECT_EQ(copy.wait(), 0);
  }
};

TEST_F(SingleInstanceGuardTest, TheFirstCopyHoldsTheGuardUntilItEnds) {
  auto first = startCopy();
  EXPECT_EQ(first->readLine(), "first");

  auto second = startCopy();
  EXPECT_EQ(second->readLine(), "second");
  release(*second);  // the second copy's exit does not end the first copy's guard

  auto third = startCopy();
  EXPECT_EQ(third->readLine(), "second");
  release(*third);

  release(*first);
  auto next = startCopy();
  EXPECT_EQ(next->readLine(), "first");
  release(*next);
}

TEST_F(SingleInstanceGuardTest, AKilledCopyLeavesNoMarkerBehind) {
  auto first = startCopy();
  ASSERT_EQ(first->readLine(), "first");
  first->kill();
  first->wait();

  auto next = startCopy();
  EXPECT_EQ(next->readLine(), "first");
  release(*next);
}

TEST_F(SingleInstanceGuardTest, OfTwoCopiesStartedTogetherExactlyOneRuns) {
  for (int round = 0; round < 5; ++round) {
    ChildProcess a({"--child=guard-on-go"});
    ChildProcess b({"--child=guard-on-go"});
    a.writeLine("go");
    b.writeLine("go");
    const std::string answers[] = {a.readLine(), b.readLine()};
    EXPECT_EQ((answers[0] == "first") + (answers[1] == "first"), 1) << answers[0] << " " << answers[1];
    EXPECT_EQ((answers[0] == "second") + (answers[1] == "second"), 1) << answers[0] << " " << answers[1];
    release(a);
    release(b);
  }
}

TEST_F(SingleInstanceGuardTest, ANameTakenByAnotherKindOfObjectIsLoggedAndTheToolRuns) {
  ForeignObjectAtMarkerName foreign;
  InstanceHandle handle = reinterpret_cast<InstanceHandle>(1);
  EXPECT_FALSE(Helper::isAlreadyRunning(handle));
  EXPECT_EQ(handle, nullptr);

  const std::string log = readBytes(toPath(runLogPath()));
  const std::string expected = " ERROR FILE:Helper.cpp FUNCTION:Helper::isAlreadyRunning LINE:428 CreateMutex Error(" +
                               std::to_string(foreign.expectedError()) + ")";
  ASSERT_EQ(log.size(), 2 + 38 + toUtf16le(fromUtf8(expected)).size() + 4);
  EXPECT_EQ(log.substr(2 + 38, log.size() - 2 - 38 - 4), toUtf16le(fromUtf8(expected)));
}

}  // namespace
