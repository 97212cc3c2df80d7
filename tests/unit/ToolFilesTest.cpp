// Where the tool looks for its files, and reading Auth.ini beside the executable.
#include "helper/Helper.h"
#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace quillon;
using namespace testing_support;

namespace {

TEST(ToolDirectory, IsTheExecutablesFolderWhateverTheCurrentFolder) {
  const fs::path expected = testProgram().parent_path();
  EXPECT_EQ(Helper::getToolDirectory(), expected);

  TempDirectory elsewhere;
  const fs::path previous = fs::current_path();
  fs::current_path(elsewhere.path());
  const fs::path fromElsewhere = Helper::getToolDirectory();
  fs::current_path(previous);
  EXPECT_EQ(fromElsewhere, expected);
}

// A copy of the test program whose full path is exactly `length` characters long.
fs::path copyOfTestProgramAt(const fs::path& base, std::size_t length) {
  const std::string name = testProgram().filename().string();
  fs::path folder = base;
  while (pathText(folder).size() + 1 + 60 + 1 + name.size() < length) folder /= std::string(59, 'd');
  const std::size_t rest = length - pathText(folder).size() - 2 - name.size();
  folder /= std::string(rest, 'e');
  fs::create_directories(folder);
  fs::copy_file(testProgram(), folder / name);
  return folder / name;
}

TEST(ToolDirectory, IsNotCutHoweverLongTheExecutablesPath) {
  // 259 characters just fit the platform's classic path buffer; past it, Windows itself can start a
  // program only where long paths are enabled, so there the longer case runs where the platform allows.
  int started = 0;
  for (const std::size_t length : {std::size_t{259}, std::size_t{300}, std::size_t{1000}}) {
    TempDirectory temp;
    const fs::path copy = copyOfTestProgramAt(temp.path(), length);
    ASSERT_EQ(pathText(copy).size(), length);
    std::unique_ptr<ChildProcess> child;
    try {
      child = std::make_unique<ChildProcess>(copy, std::vector<std::string>{"--child=tool-directory"});
    } catch (const std::exception&) {
      continue;  // this platform cannot start a program from such a path at all
    }
    ++started;
    EXPECT_EQ(child->readLine(), toUtf8(pathText(copy.parent_path()))) << length;
    EXPECT_EQ(child->wait(), 0);
  }
  EXPECT_GE(started, 1);
}

TEST(AgentPackagePath, IsTheMsiInTheTemporaryFolderEveryTime) {
  TempDirectory temp;
  ScopedTempEnvironment environment(temp.path());
  const std::u16string path = Helper::getAgentPackagePath();
  EXPECT_EQ(toPath(path), fs::temp_directory_path() / "NewQuillonAgent.msi");
  EXPECT_TRUE(fs::equivalent(toPath(path).parent_path(), temp.path()));
  EXPECT_EQ(Helper::getAgentPackagePath(), path);
#ifndef _WIN32
  // Linux: TMPDIR (an empty one counts as unset), else /tmp, as for the run log; TMP is Windows' name.
  ScopedEnvironment tmpdir("TMPDIR", "");
  EXPECT_EQ(Helper::getAgentPackagePath(), u"/tmp/NewQuillonAgent.msi");
  EXPECT_EQ(runLogPath(), u"/tmp/QuillonMigrationTool.log");
#endif
}

// Auth.ini lives beside the executable, so these tests put theirs beside the test program.
class AuthFileTest : public ::testing::Test {
 protected:
  fs::path authFile = testProgram().parent_path() / "Auth.ini";
  void SetUp() override { fs::remove_all(authFile); }
  void TearDown() override { fs::remove_all(authFile); }
};

TEST_F(AuthFileTest, PresenceCountsAnyKindOfEntry) {
  EXPECT_FALSE(Helper::existsAuthFile());
  writeBytes(authFile, "");
  EXPECT_TRUE(Helper::existsAuthFile());
  fs::remove(authFile);
  fs::create_directory(authFile);
  EXPECT_TRUE(Helper::existsAuthFile());
}

TEST_F(AuthFileTest, ReadsTheThreeKeysInOrderAndStopsAtTheFirstMissingOne) {
  const std::string v300(300, 'v');
  const struct {
    const char* what;
    std::string file;
    bool result;
    std::u16string name, company, cert;
  } cases[] = {
      {"all three", "[CERT]\r\nCompanyName=Torva\r\nCompanyCode=C-1\r\nCertCode=X9\r\n", true, u"Torva", u"C-1", u"X9"},
      {"any order", "[CERT]\nCertCode=X9\nCompanyCode=C-1\nCompanyName=Torva\n", true, u"Torva", u"C-1", u"X9"},
      {"no CERT section", "[OTHER]\nCompanyName=Torva\nCompanyCode=C-1\nCertCode=X9\n", false, u"old name",
       u"old code", u"old cert"},
      {"no CompanyName", "[CERT]\nCompanyCode=C-1\nCertCode=X9\n", false, u"old name", u"old code", u"old cert"},
      {"empty CompanyCode", "[CERT]\nCompanyName=Torva\nCompanyCode=\nCertCode=X9\n", false, u"Torva", u"old code",
       u"old cert"},
      {"no CertCode", "[CERT]\nCompanyName=Torva\nCompanyCode=C-1\n", false, u"Torva", u"C-1", u"old cert"},
      {"300 characters", "[CERT]\nCompanyName=" + v300 + "\nCompanyCode=C-1\nCertCode=X9\n", true,
       std::u16string(259, u'v'), u"C-1", u"X9"},
  };
  for (const auto& c : cases) {
    writeBytes(authFile, c.file);
    std::u16string name = u"old name", company = u"old code", cert = u"old cert";
    EXPECT_EQ(Helper::readAuthSettings(name, company, cert), c.result) << c.what;
    EXPECT_EQ(name, c.name) << c.what;
    EXPECT_EQ(company, c.company) << c.what;
    EXPECT_EQ(cert, c.cert) << c.what;
  }
}

TEST_F(AuthFileTest, AFolderNamedAuthIniIsPresentButUnreadable) {
  fs::create_directory(authFile);
  std::u16string name, company, cert;
  EXPECT_TRUE(Helper::existsAuthFile());
  EXPECT_FALSE(Helper::readAuthSettings(name, company, cert));
}

TEST(AuthSettings, IsOneInstanceThatStartsEmpty) {
  AuthSettings& settings = Helper::getAuthSettings();
  EXPECT_EQ(&settings, &Helper::getAuthSettings());
  EXPECT_TRUE(settings.CompanyName.empty() && settings.CompanyCode.empty() && settings.CertCode.empty());
}

}  // namespace
