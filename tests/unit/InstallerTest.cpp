// The installer runs: the command lines, how they reach the installer on each build, how its exit is judged,
// and which installer runs. A copy of this test program named msiexec.exe plays the installer
// (support/TestMain.cpp).
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/InstallerLog.h"
#include "helper/InstallerRun.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"
#include "platform/CommandLine.h"
#include "platform/AdminFolder.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

  // The installer's own log: the option last, the file quoted as any argument is; nothing without a file.
  const std::u16string uninstall = Helper::uninstallCommandLine(u"{P}");
  EXPECT_EQ(withInstallerLog(uninstall, u"C:\\Windows\\Logs\\x.log"), uninstall + u" /l*v C:\\Windows\\Logs\\x.log");
  EXPECT_EQ(withInstallerLog(uninstall, u"D:\\Win dows\\x.log"), uninstall + u" /l*v \"D:\\Win dows\\x.log\"");
  EXPECT_EQ(withInstallerLog(uninstall, u""), uninstall);
}

TEST(InstallerLog, EachRunGetsANameOfItsOwnWhereNothingStandsYet) {
  const LogTime time{2025, 1, 9, 14, 3, 5};
  EXPECT_EQ(installerLogName(time, 4242, u"uninstall", 1, 1), u"20250109-140305-4242-uninstall.log");
  EXPECT_EQ(installerLogName(time, 4242, u"install", 2, 1), u"20250109-140305-4242-install2.log");
  EXPECT_EQ(installerLogName(time, 4242, u"install", 1, 3), u"20250109-140305-4242-install(3).log");

  // Whatever stands at a name takes it, and stays as it is: a file, a folder, a link (dangling or not).
  TempDirectory folder;
  const std::u16string path = pathText(folder.path());
  const auto at = [&](unsigned taken) { return folder.path() / toPath(installerLogName(time, 7, u"install", 1, taken)); };
  writeBytes(at(1), "kept");
  fs::create_directory(at(2));
  if (!runsOnWindows()) {
    fs::create_symlink(at(1), at(3));
    fs::create_symlink(folder.path() / "missing", at(4));
  }
  const unsigned free = runsOnWindows() ? 3 : 5;
  EXPECT_EQ(newInstallerLogFile(path, time, 7, u"install", 1), pathText(at(free)));
  EXPECT_EQ(readBytes(at(1)), "kept");
  EXPECT_FALSE(fs::exists(folder.path() / "missing"));
  for (unsigned taken = free; taken <= 8; ++taken) writeBytes(at(taken), "");
  EXPECT_EQ(newInstallerLogFile(path, time, 7, u"install", 1), u"") << "never an endless search";
}

TEST(InstallerLog, TheLineNamingTheLogKeepsTheFilesNameWithinTheEntry) {
  const std::u16string surrogates = u"\U0001F4C1\U0001F4C1\U0001F4C1";
  const struct {
    std::u16string file;
    std::size_t room;
    std::u16string expected;
  } cases[] = {
      {u"C:\\L\\a.log", 40, u"Installer Log(C:\\L\\a.log)"},
      {u"C:\\L\\a.log", 25, u"Installer Log(C:\\L\\a.log)"},  // exactly fits
      {u"C:\\L\\a.log", 24, u"Installer Log(...\\a.log)"},
      {u"C:\\" + surrogates + u"a.log", 25, u"Installer Log(...\U0001F4C1a.log)"},
      {u"C:\\" + surrogates + u"a.log", 24, u"Installer Log(...a.log)"},  // never half a pair
  };
  for (const auto& c : cases) EXPECT_EQ(installerLogMessage(c.file, c.room), c.expected) << toUtf8(c.expected);

  // However long the path, the entry keeps to its limit and ends with the file's name and the bracket.
  const std::u16string file = u"C:\\" + std::u16string(400, u'x') + u"\\20250109-140305-4242-install.log";
  const LogSite& site = logsite::ReplaceInstallLog;
  const std::u16string entry = composeLogEntry(LogTime{2025, 1, 9, 14, 3, 5}, site.level, site.file, site.function,
                                               site.line, installerLogMessage(file, messageRoom(site)));
  const std::u16string end = u"x\\20250109-140305-4242-install.log)\n";
  EXPECT_EQ(entry.size(), kLogEntryLimit);
  EXPECT_EQ(entry.substr(entry.size() - end.size()), end);
}

// The Linux body's rules; the Windows body reads a security descriptor where these read modes and links.
TEST(InstallerLogFolderRules, OnlyRealFoldersThatOnlyAdministratorsWriteAreUsed) {
  if (runsOnWindows()) GTEST_SKIP() << "modes and symbolic links of the Linux body";
  TempDirectory windows;
  TempDirectory elsewhere;
  const fs::path logs = windows.path() / "Logs";
  const fs::path software = logs / "Software";
  const fs::path own = software / "QuillonMigrationTool";
  const auto folders = [&] { fs::create_directories(own); };
  const auto link = [&](const fs::path& at) {
    return [&, at] {
      fs::create_directories(at.parent_path());
      fs::create_symlink(elsewhere.path(), at);
    };
  };
  const auto mode = [&](const fs::path& at, fs::perms perms) {
    return [&, at, perms] {
      folders();
      fs::permissions(at, perms);
    };
  };
  using State = AdminFolder::State;
  const struct {
    const char* what;
    std::function<void()> plant;
    State state;
    fs::path reported;
  } cases[] = {
      {"nothing there yet", [] {}, State::Ready, own},
      {"all there", folders, State::Ready, own},
      {"a link in place of the tool's folder", link(own), State::Refused, own},
      {"a link in place of Software", link(software), State::Refused, software},
      {"a link in place of Logs", link(logs), State::Refused, logs},
      {"a file in place of the tool's folder", [&] { fs::create_directories(software); writeBytes(own, ""); },
       State::Refused, own},
      {"the tool's folder writable by others", mode(own, fs::perms(0757)), State::Refused, own},
      {"Software writable by its group", mode(software, fs::perms(0775)), State::Refused, software},
      {"Logs writable by others", mode(logs, fs::perms(0777)), State::Refused, logs},
  };
  ScopedEnvironment windowsDirectory("QUILLON_WINDOWS_DIR", windows.path().string());
  for (const auto& c : cases) {
    fs::remove_all(logs);
    c.plant();
    const AdminFolder folder = openInstallerLogFolder();
    EXPECT_EQ(folder.state, c.state) << c.what;
    EXPECT_EQ(folder.path, pathText(c.reported)) << c.what;
    EXPECT_EQ(folder.held.size(), c.state == State::Ready ? 3u : 0u) << c.what << ": the folders on the way are held";
    EXPECT_TRUE(fs::is_empty(elsewhere.path())) << c.what << ": nothing is made through a link";
  }
  fs::remove_all(logs);
  ASSERT_EQ(openInstallerLogFolder().state, State::Ready);
  for (const fs::path& made : {logs, software, own}) {
    EXPECT_EQ(fs::status(made).permissions() & fs::perms(022), fs::perms(0)) << made << " is made for its owner alone to write";
  }

  ScopedEnvironment noWindows("QUILLON_WINDOWS_DIR", "");
  const AdminFolder none = openInstallerLogFolder();
  EXPECT_EQ(none.state, State::Failed);
  EXPECT_EQ(installerLogFolderMessage(none), u"Installer Log Folder Error(2)");
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

TEST_F(FakeInstallerTest, EachRunWritesItsOwnLogOrRunsAgainWithoutOneItCannotOpen) {
  const std::u16string package = pathText(temp.path() / "NewQuillonAgent.msi");
  const std::u16string commandLine = Helper::installCommandLine(package, u"", u"");
  TempDirectory logs;
  const struct {
    const char* what;
    std::u16string folder;
    int exit;
    bool done;
    bool logged;  // the first run got the log option; a 1622 then runs again without it
  } cases[] = {
      {"done", pathText(logs.path()), 0, true, true},
      {"failed", pathText(logs.path()), 1603, false, true},
      {"no log folder", u"", 0, true, false},
      {"the log cannot be opened", pathText(logs.path()), 1622, false, true},
  };
  for (const auto& c : cases) {
    fs::remove(record);
    fs::remove(toPath(runLogPath()));
    ScopedEnvironment exit("QUILLON_FAKE_MSIEXEC_EXIT", std::to_string(c.exit));
    InstallerLog log{c.folder, u"a file of an earlier run"};
    std::uint32_t exitCode = 0;
    EXPECT_EQ(execInstall(program, package.c_str(), u"", u"", exitCode, &log), c.done) << c.what;
    std::vector<std::string> expected;
    std::u16string file;
    if (c.logged) {
      const std::vector<std::string> arguments = received();
      const auto option = std::find(arguments.begin(), arguments.end(), "arg:/l*v");
      ASSERT_NE(option, arguments.end()) << c.what;
      file = fromUtf8(option[1].substr(4));
      EXPECT_EQ(pathText(toPath(file).parent_path()), c.folder) << c.what;
      expected = expectedFor(withInstallerLog(commandLine, file));
    }
    if (c.exit == 1622 || !c.logged) {
      const std::vector<std::string> plain = expectedFor(commandLine);
      expected.insert(expected.end(), plain.begin(), plain.end());
    }
    EXPECT_EQ(received(), expected) << c.what;
    // Named only where the installer ran with it and wrote it.
    EXPECT_EQ(log.file, c.logged && c.exit != 1622 ? file : u"") << c.what;
    const std::vector<std::u16string> retried{
        u"INFO FILE:Helper.cpp FUNCTION:Helper::ExecMsiSync LINE:123 Installer Log Error(1622) Retry Without Log"};
    EXPECT_EQ(runLogEntries(), c.exit == 1622 ? retried : std::vector<std::u16string>()) << c.what;
  }
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
