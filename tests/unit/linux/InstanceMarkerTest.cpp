// The Linux guard's lock file is world-writable, so any local program can lock it: that must make the
// tool report "already running", never wait for ever at start-up.
#include "helper/Helper.h"
#include "platform/InstanceMarker.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

using namespace quillon;
using namespace testing_support;

namespace {

TEST(InstanceMarker, AFileHeldByAnotherProgramMeansAnotherCopyRunsWithoutWaiting) {
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  ScopedEnvironment lockDirectory{"QUILLON_LOCK_DIR", temp.path().string()};

  InstanceHandle handle = nullptr;
  ASSERT_FALSE(Helper::isAlreadyRunning(handle));  // creates the lock file
  closeInstanceHandle(handle);

  boost::filesystem::path lockFile;
  for (const auto& entry : boost::filesystem::directory_iterator(temp.path())) {
    if (entry.path().extension() == ".lock") lockFile = entry.path();
  }
  ASSERT_FALSE(lockFile.empty());
  const int foreign = open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(foreign, 0);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_len = 1;
  ASSERT_EQ(fcntl(foreign, F_OFD_SETLK, &lock), 0);

  const auto start = std::chrono::steady_clock::now();
  handle = nullptr;
  EXPECT_TRUE(Helper::isAlreadyRunning(handle));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  closeInstanceHandle(handle);
  close(foreign);
}

}  // namespace
