// The unit-test program. Started with "--child=<role>" it plays a second process for a test instead of
// running the tests (so the tests of process-wide behaviour use real processes on both builds).
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>

namespace {

// Takes the single-instance guard and says "first", "second" or "failed"; holds it until stdin ends.
// With "--child=guard-on-go" it first waits for a line on stdin, so that several copies can be released
// at the same moment.
int runGuardChild(bool waitForGo) {
  std::string line;
  if (waitForGo) std::getline(std::cin, line);
  quillon::InstanceHandle handle = nullptr;
  const bool running = Helper::isAlreadyRunning(handle);
  std::cout << (running ? "second" : handle != nullptr ? "first" : "failed") << std::endl;
  while (std::getline(std::cin, line)) {
  }
  quillon::closeInstanceHandle(handle);
  return 0;
}

int runToolDirectoryChild() {
  std::cout << quillon::toUtf8(quillon::pathText(Helper::getToolDirectory())) << std::endl;
  return 0;
}

// Downloads argument 2 to argument 3 and says "true" or "false" and the process's peak memory in KiB.
int runDownloadChild(int argc, char** argv) {
  if (argc != 4) return 64;
  const bool stored = Helper::downloadFile(quillon::fromUtf8(argv[2]).c_str(), quillon::fromUtf8(argv[3]).c_str());
  std::cout << (stored ? "true " : "false ") << testing_support::peakMemoryKiB() << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strncmp(argv[1], "--child=", 8) == 0) {
    const std::string role = argv[1] + 8;
    if (role == "guard") return runGuardChild(false);
    if (role == "guard-on-go") return runGuardChild(true);
    if (role == "tool-directory") return runToolDirectoryChild();
    if (role == "download") return runDownloadChild(argc, argv);
    std::cerr << "unknown child role " << role << std::endl;
    return 64;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
