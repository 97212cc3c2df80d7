// The build tree's local distribution server, as the CTest fixture "distribution-server" runs it
// (tests/support/distribution-server-fixture), seen from a unit test on either build.
#pragma once

#include <gtest/gtest.h>

#include <boost/filesystem/path.hpp>

#include <string>
#include <vector>

namespace testing_support {

namespace fs = boost::filesystem;

// Base of the tests that talk to the server: skipped, with a note, when the test program runs outside CTest
// and so without the server. Initialises COM for the test's thread, as the tool does before any request.
class DistributionServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  bool comInitialised_ = false;
};

// Where the server is.
fs::path serverRoot();
std::u16string httpsBase();  // https://localhost:<port>, the base URL the test build of the tool has
std::u16string httpBase();   // http://localhost:<port>

// A folder of this test's own under the server's root, removed with its files at the end of the scope;
// tests that run side by side in one build tree never see each other's files.
class ServedFolder {
 public:
  ServedFolder();
  ~ServedFolder();
  ServedFolder(const ServedFolder&) = delete;
  ServedFolder& operator=(const ServedFolder&) = delete;

  // Writes a file of the folder and returns its URL path, "/<folder>/<name>".
  std::u16string put(const std::string& name, const std::string& bytes) const;
  std::u16string urlPath(const std::string& name) const;

 private:
  std::string name_;
};

// The URL path that asks the server for a fault (tools/distribution-server), e.g. faulty(u"status=404", p).
std::u16string faulty(const std::u16string& modes, const std::u16string& urlPath);

// The request log's lines (one JSON object each) whose request target contains `text`.
std::vector<std::string> requestsContaining(const std::u16string& text);

// A file's bytes made up for a test, the same for the same size and seed.
std::string madeUpBytes(std::size_t size, unsigned seed = 1);

}  // namespace testing_support
