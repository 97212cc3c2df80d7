// The installer runs: the command lines, how they reach the installer on each build, how its exit is judged,
// and which installer runs. A copy of this test program named msiexec.exe plays the installer
// (support/TestMain.cpp).
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/InstallerRun.h"
#include "log/RunLogFile.h"
#include "platform/CommandLine.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <memory>

using namespace quillon;
using namespace testing_support;

namespace {

const std::u16string kServer = std::u16string(kAgentEndpointUrl);

TEST(InstallerCommandLine, FollowsTheTemplatesAndQuotesOnlyWhatNeedsIt) {
  const std::u16string longCode(600, u'c');
  const struct {
    const char* what;
    std::u16string path, company, cert, expected;
  } cases[] = {
      {"with codes", u"C:\\Temp\\NewQuillonAgent.msi", u"C-1", u"X9",
       u"msiexec.exe -i C:\\Temp\\NewQuillonAgent.msi -qb! SERVER_URL=" + kServer +
           u" COMPANY_CODE=C-1 CERTIFICATION_CODE=X9 TRANSFORMS=:1041 LANG=ja-JP"},
      {"without codes", u"C:\\Temp\\NewQuillonAgent.msi", u"", u"",
       u"msiexec.exe -i C:\\Temp\\NewQuillonAgent.msi -qb! SERVER_URL=" + kServer + u" TRANSFORMS=:1041 LANG=ja-JP"},
      {"company code alone", u"p.msi", u"C-1", u"", u"msiexec.exe -i p.msi -qb! SERVER_URL=" + kServer + u" TRANSFORMS=:1041 LANG=ja-JP"},
      {"certification code alone", u"p.msi", u"", u"X9", u"msiexec.exe -i p.msi -qb! SERVER_URL=" + kServer + u" TRANSFORMS=:1041 LANG=ja-JP"},
      {"a user name with a blank", u"C:\\Users\\Taro Yamada\\AppData\\Local\\Temp\\NewQuillonAgent.msi", u"", u"",
       u"msiexec.exe -i \"C:\\Users\\Taro Yamada\\AppData\\Local\\Temp\\NewQuillonAgent.msi\" -qb! SERVER_URL=" + kServer +
           u" TRANSFORMS=:1041 LANG=ja-JP"},
      {"a code that would add a property", u"p.msi", u"C-1 REBOOT=Force", u"X9",
       u"msiexec.exe -i p.msi -qb! SERVER_URL=" + kServer +
           u" COMPANY_CODE=\"C-1 REBOOT=Force\" CERTIFICATION_CODE=X9 TRANSFORMS=:1041 LANG=ja-JP"},
      {"a code with quotes", u"p.msi", u"a\" /x \"b", u"\"X9\"",
       u"msiexec.exe -i p.msi -qb! SERVER_URL=" + kServer +
           u" COMPANY_CODE=\"a\"\" /x \"\"b\" CERTIFICATION_CODE=\"\"\"X9\"\"\" TRANSFORMS=:1041 LANG=ja-JP"},
      {"long values are passed whole", u"p.msi", longCode, u"X9",
       u"msiexec.exe -i p.msi -qb! SERVER_URL=" + kServer + u" COMPANY_CODE=" + longCode +
           u" CERTIFICATION_CODE=X9 TRANSFORMS=:1041 LANG=ja-JP"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Helper::installCommandLine(c.path, c.company, c.cert), c.expected) << c.what;
  }
  EXPECT_EQ(Helper::uninstallCommandLine(u"{6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B}"),
            u"msiexec.exe -x {6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B} -qb!");
  EXPECT_EQ(Helper::uninstallCommandLine(u""), u"msiexec.exe -x  -qb!");
}

TEST(CommandLine, EveryQuotedArgumentSplitsBackToItself) {
  const std::u16string arguments[] = {
      u"plain", u"a b", u"\ta\t", u"\"", u"a\"b", u"\"\"", u"a\" /x \"b", u"C:\\a b\\", u"C:\\a b\\\"", u"end\\",
      u"REBOOT=Force /qn", u"移行 ツール", u" ",
  };
  std::u16string line = u"msiexec.exe";
  std::vector<std::u16string> expected{u"msiexec.exe"};
  for (const std::u16string& argument : arguments) {
    line += u" " + quoteArgument(argument);
    expected.push_back(argument);
  }
  EXPECT_EQ(splitCommandLine(line), expected);
}

TEST(CommandLine, SplitsByTheInstallersRules) {
  using Arguments = std::vector<std::u16string>;
  const struct {
    std::u16string line;
    Arguments arguments;
  } cases[] = {
      {u"a  b\tc ", {u"a", u"b", u"c"}},
      {u"msiexec.exe -x  -qb!", {u"msiexec.exe", u"-x", u"-qb!"}},
      {u"P=\"a b\" Q", {u"P=a b", u"Q"}},
      {u"\"C:\\a b\\\" next", {u"C:\\a b\\", u"next"}},  // a backslash is an ordinary character
      {u"\"a\"\"b\"", {u"a\"b"}},
      {u"\"\"", {u""}},
      {u"\"unclosed text", {u"unclosed text"}},
      {u"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitCommandLine(c.line), c.arguments) << toUtf8(c.line);
}

// The installer as this test program plays it, handed to the runs as their program.
class FakeInstallerTest : public ::testing::Test {
 protected:
  TempDirectory folder;
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  fs::path record = folder.path() / "record.txt";
  ScopedEnvironment recordEnvironment{"QUILLON_FAKE_MSIEXEC_RECORD", record.string()};
  // Each run exactly once: waiting for another installation, and the install's reruns after 1618, are the
  // whole-tool tests' business.
  ScopedEnvironment noBusyWaits{"QUILLON_TEST_INSTALLER_BUSY_SECONDS", "0"};
  std::u16string program = pathText(folder.path() / "msiexec.exe");

  void SetUp() override { fs::copy_file(testProgram(), toPath(program)); }

  // What the installer received: the raw command line where the platform passes one, else the arguments.
  std::vector<std::string> received() {
    std::vector<std::string> lines;
    if (!fs::exists(record)) return lines;
    std::string line;
    for (const char c : readBytes(record)) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return lines;
  }
  // What the installer should receive for a command line.
  static std::vector<std::string> expectedFor(const std::u16string& commandLine) {
    std::vector<std::string> lines;
    if (runsOnWindows()) lines.push_back("cmd:" + toUtf8(commandLine));
    const std::vector<std::u16string> arguments = splitCommandLine(commandLine);
    for (std::size_t i = 1; i < arguments.size(); ++i) lines.push_back("arg:" + toUtf8(arguments[i]));
    return lines;
  }
  std::string runLog() { return toUtf8(runLogText()); }
};

TEST_F(FakeInstallerTest, ExitCodesZeroAndRestartRequiredAreSuccessAndNoExitCodeIsLogged) {
  const std::u16string package = pathText(temp.path() / "A B" / "NewQuillonAgent.msi");
  // 3010: done, a restart is pending. 1641 (the installer started a restart itself) and 1618 stay failures.
  for (const int code : {0, 1603, 1618, 3010, 1641}) {
    fs::remove(record);
    ScopedEnvironment exit("QUILLON_FAKE_MSIEXEC_EXIT", std::to_string(code));
    std::uint32_t exitCode = 12345;
    EXPECT_EQ(execInstall(program, package.c_str(), u"C 1", u"X\"9", exitCode), code == 0 || code == 3010) << code;
    // A Linux exit status keeps only the low byte of the code (none of the installer's codes has a zero one).
    EXPECT_EQ(exitCode, static_cast<std::uint32_t>(runsOnWindows() ? code : code & 0xFF));
    EXPECT_EQ(isExitCode(exitCode, kInstallerRestartRequired), code == 3010) << code;
    EXPECT_EQ(received(), expectedFor(Helper::installCommandLine(package, u"C 1", u"X\"9"))) << code;
  }
  EXPECT_EQ(runLog(), "") << "the installer's exit codes are not logged";
}

TEST_F(FakeInstallerTest, UninstallsByTheProductCodeOfTheRegistry) {
  const struct {
    const char* what;
    std::u16string values;
    bool started;
  } cases[] = {
      {"product code", u"\"ProductCode\"=\"{6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B}\"\r\n", true},
      {"empty product code", u"\"ProductCode\"=\"\"\r\n", true},
      {"260 characters", u"\"ProductCode\"=\"" + std::u16string(260, u'p') + u"\"\r\n", true},
      {"261 characters", u"\"ProductCode\"=\"" + std::u16string(261, u'p') + u"\"\r\n", false},
      {"not a string", u"\"ProductCode\"=dword:00000001\r\n", false},
      {"missing", u"\"UpgradeCode\"=\"x\"\r\n", false},
  };
  for (const auto& c : cases) {
    fs::remove(record);
    const AgentRegistryFixture fixture(u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n" + c.values);
    std::uint32_t exitCode = 12345;
    EXPECT_EQ(execUninstallByProductCode(program, exitCode), c.started) << c.what;
    if (c.started) {
      RegistryKey key;
      ASSERT_EQ(key.open(AgentRegistryKey), 0);
      char16_t code[262];
      ASSERT_EQ(Helper::readRegistryString(key, u"ProductCode", code, 262), 0);
      EXPECT_EQ(received(), expectedFor(Helper::uninstallCommandLine(code))) << c.what;
      EXPECT_EQ(exitCode, 0u);
    } else {
      EXPECT_EQ(received(), std::vector<std::string>()) << c.what << ": no installer is started";
      EXPECT_EQ(exitCode, 12345u) << c.what;
    }
  }
  const AgentRegistryFixture noKey(u"");
  std::uint32_t exitCode = 0;
  EXPECT_FALSE(execUninstallByProductCode(program, exitCode));
  EXPECT_EQ(runLog(), "") << "a key or value that cannot be read is not logged";
}

TEST_F(FakeInstallerTest, TheToolRunsTheSystemsInstallerNeverOnePlantedBesideItOrInTheCurrentFolder) {
  // Linux has no system folder: there the stand-in installer is the first msiexec.exe on PATH.
  if (!runsOnWindows()) GTEST_SKIP() << "the installer stand-in is found on PATH";
  const std::u16string system = installerProgram();
  EXPECT_TRUE(fs::exists(toPath(system))) << toUtf8(system);
  EXPECT_TRUE(equalsIgnoringAsciiCase(pathText(toPath(system).parent_path().filename()), u"system32")) << toUtf8(system);

  const fs::path besideTests = testProgram().parent_path() / "msiexec.exe";
  fs::copy_file(testProgram(), besideTests, fs::copy_options::overwrite_existing);
  const fs::path previousFolder = fs::current_path();
  fs::current_path(folder.path());
  const AgentRegistryFixture fixture(
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n\"ProductCode\"=\"{00000000-0000-0000-0000-00000000F00D}\"\r\n");
  std::uint32_t exitCode = 0;
  // The system's installer knows no such product (1605, ERROR_UNKNOWN_PRODUCT).
  EXPECT_FALSE(Helper::ExecUninstallMsiByProductCodeSync(exitCode));
  fs::current_path(previousFolder);
  fs::remove(besideTests);
  EXPECT_EQ(exitCode, 1605u);
  EXPECT_EQ(received(), std::vector<std::string>()) << "a planted msiexec.exe ran";
}

TEST(InstallerNotFound, IsLoggedWithError2) {
  // Windows always finds its own msiexec.exe; elsewhere the tool reports a missing one as Windows would.
  if (runsOnWindows()) GTEST_SKIP() << "the platform's own installer is always there";
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment(temp.path());
  ScopedEnvironment path("PATH", temp.path().string());
  const AgentRegistryFixture fixture(u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon]\r\n\"ProductCode\"=\"{P}\"\r\n");
  std::uint32_t exitCode = 12345;
  EXPECT_FALSE(Helper::ExecMsiSync(u"p.msi", u"", u"", exitCode));
  EXPECT_FALSE(Helper::ExecUninstallMsiByProductCodeSync(exitCode));
  EXPECT_EQ(exitCode, 12345u);
  const std::string log = readBytes(toPath(runLogPath()));
  const std::u16string expected[] = {
      u" ERROR FILE:Helper.cpp FUNCTION:Helper::ExecMsiSync LINE:125 CreateProcess Error(2)\r\n",
      u" ERROR FILE:Helper.cpp FUNCTION:Helper::ExecUninstallMsiByProductCodeSync LINE:185 CreateProcess Error(2)\r\n",
  };
  std::size_t at = 0;
  for (const std::u16string& line : expected) {
    at = log.find(toUtf16le(line), at);
    EXPECT_NE(at, std::string::npos) << toUtf8(line);
  }
}

}  // namespace
