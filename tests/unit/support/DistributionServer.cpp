#include "tests/unit/support/DistributionServer.h"

#include "helper/BuildConstants.h"
#include "platform/Com.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>

#ifndef QUILLON_TEST_SERVER_HTTP_PORT
#error "QUILLON_TEST_SERVER_HTTP_PORT must be defined for the unit tests"
#endif

namespace testing_support {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

void DistributionServerTest::SetUp() {
  if (environment("QUILLON_TEST_SERVER_ROOT").empty()) {
    GTEST_SKIP() << "no distribution server: run the tests through ctest";
  }
  quillon::initializeCom();
  comInitialised_ = true;
}

void DistributionServerTest::TearDown() {
  if (comInitialised_) quillon::uninitializeCom();
}

fs::path serverRoot() { return fs::path(environment("QUILLON_TEST_SERVER_ROOT")); }

std::u16string httpsBase() { return ServerBaseUrl; }

std::u16string httpBase() {
  return u"http://localhost:" + quillon::fromUtf8(std::to_string(QUILLON_TEST_SERVER_HTTP_PORT));
}

ServedFolder::ServedFolder() {
  static std::atomic<int> counter{0};
  name_ = fs::unique_path("t-%%%%%%%%-").string() + std::to_string(++counter);
  fs::create_directories(serverRoot() / name_);
}

ServedFolder::~ServedFolder() {
  boost::system::error_code ignored;
  fs::remove_all(serverRoot() / name_, ignored);
}

std::u16string ServedFolder::put(const std::string& name, const std::string& bytes) const {
  writeBytes(serverRoot() / name_ / name, bytes);
  return urlPath(name);
}

std::u16string ServedFolder::urlPath(const std::string& name) const {
  return quillon::fromUtf8("/" + name_ + "/" + name);
}

std::u16string faulty(const std::u16string& modes, const std::u16string& urlPath) {
  return u"/_fault/" + modes + urlPath;
}

std::vector<std::string> requestsContaining(const std::u16string& text) {
  std::ifstream log(environment("QUILLON_TEST_SERVER_REQUESTS"));
  const std::string wanted = quillon::toUtf8(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) {
    if (line.find(wanted) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

std::string madeUpBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

}  // namespace testing_support
