// The unit-test program. Started with "--child=<role>" it plays a second process for a test instead of
// running the tests (so the tests of process-wide behaviour use real processes on both builds).
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

// Copied as msiexec.exe where the tool looks for the installer, this program plays it: it appends what it
// received to the file QUILLON_FAKE_MSIEXEC_RECORD ("cmd:" and the raw command line where the platform has
// one, then "arg:" and each argument), writes a log where "/l*v FILE" asks for one (not when it exits 1622,
// the installer's code for a log it cannot open) and exits with QUILLON_FAKE_MSIEXEC_EXIT (default 0).
bool isFakeInstaller() {
  std::string name = testing_support::testProgram().filename().string();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "msiexec.exe";
}

int runFakeInstaller(int argc, char** argv) {
  if (const char* record = std::getenv("QUILLON_FAKE_MSIEXEC_RECORD")) {
    std::ofstream out(record, std::ios::binary | std::ios::app);
    const std::string commandLine = testing_support::ownCommandLine();
    if (!commandLine.empty()) out << "cmd:" << commandLine << "\n";
    for (int i = 1; i < argc; ++i) out << "arg:" << argv[i] << "\n";
  }
  const char* code = std::getenv("QUILLON_FAKE_MSIEXEC_EXIT");
  const int exitCode = code != nullptr ? std::atoi(code) : 0;
  for (int i = 1; i + 1 < argc && exitCode != 1622; ++i) {
    if (std::strcmp(argv[i], "/l*v") == 0) std::ofstream(argv[i + 1], std::ios::binary) << "Return value 1.\n";
  }
  return exitCode;
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
  if (isFakeInstaller()) return runFakeInstaller(argc, argv);
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
