// The package-URL lookup through the real request (XMLHTTP60 under Wine, libcurl on Linux) against the
// local distribution server, with the run log it leaves.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/ServerAccess.h"
#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/DistributionServer.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <regex>
#include <string>

using namespace quillon;
using namespace testing_support;

namespace {

const std::u16string kPrefix = u"https://packages.example";
const std::u16string kLogStart = u"ERROR FILE:Helper.cpp FUNCTION:Helper::getDownloadUrl LINE:";
const std::u16string kRetryStart = u"INFO FILE:Helper.cpp FUNCTION:Helper::getDownloadUrl LINE:451 ";
const std::u16string kKeyMissing = kLogStart + u"471 AGENT_MSI_URL\u30AD\u30FC\u304C\u898B\u3064\u304B\u308A\u307E\u305B\u3093\u3002";

class DownloadUrlTest : public DistributionServerTest {
 protected:
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  ServedFolder folder;

  struct Outcome {
    bool result;
    std::u16string url;  // the buffer up to its NUL; "<untouched>" when the lookup did not write it
    std::vector<std::u16string> log;
  };

  static Outcome lookUp(const std::u16string& scriptUrl, std::chrono::seconds timeLimit = kConfigScriptTimeLimit) {
    char16_t buffer[kPackageUrlCapacity];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    buffer[kPackageUrlCapacity - 1] = u'\0';
    const bool result = lookUpPackageUrl(scriptUrl.c_str(), kPrefix.c_str(), buffer, timeLimit);
    const std::u16string untouched(kPackageUrlCapacity - 1, u'#');
    const std::u16string url = buffer;
    return {result, url == untouched ? u"<untouched>" : url, runLogEntries()};
  }

  // Serves `script` as this test's config.js and looks it up, over https, through the fault modes given.
  Outcome lookUpScript(const std::string& script, const std::u16string& modes = u"") {
    const std::u16string path = folder.put("config.js", script);
    return lookUp(httpsBase() + (modes.empty() ? path : faulty(modes, path)));
  }
};

TEST_F(DownloadUrlTest, FindsThePackageUrlInTheServedScript) {
  const struct {
    const char* what;
    std::string script;
    std::u16string modes;
    std::optional<std::u16string> path;  // nothing: message 120 in the log
  } cases[] = {
      {"an assignment", "var AGENT_MSI_URL = '/p/x.msi';\n", u"", u"/p/x.msi"},
      {"CR LF line ends", "var a = 1;\nAGENT_MSI_URL = '/p/x.msi';\nvar b = 'c';\n", u"crlf", u"/p/x.msi"},
      {"two values on the line", "AGENT_MSI_URL = '/pkg/a.msi'; AGENT_VER = '2';\n", u"",
       u"/pkg/a.msi'; AGENT_VER = '2"},
      {"the commented-out assignment first", "// AGENT_MSI_URL = '/old/a.msi'\nAGENT_MSI_URL = '/new/b.msi'\n", u"",
       u"/old/a.msi"},
      {"UTF-8 text", "AGENT_MSI_URL = '/\xE3\x83\x91\xE3\x83\x83\xE3\x82\xB1/a.msi';", u"",
       u"/\u30D1\u30C3\u30B1/a.msi"},
      {"a byte-order mark", "\xEF\xBB\xBF" "AGENT_MSI_URL='/bom.msi'", u"", u"/bom.msi"},
      {"any 2xx status", "AGENT_MSI_URL = '/p/203.msi'", u"status=203", u"/p/203.msi"},
      {"a redirect, followed", "AGENT_MSI_URL = '/p/moved.msi'", u"redirect=302", u"/p/moved.msi"},
      {"a NUL before the assignment ends the text", "var a = 1;\nAGENT_MSI_URL = '/p/x.msi';\n", u"nul=5",
       std::nullopt},
      {"a NUL after it does not matter", "AGENT_MSI_URL = '/p/x.msi';\nvar a = 1;\n", u"nul=28", u"/p/x.msi"},
      {"an empty body", "AGENT_MSI_URL = '/p/x.msi';\n", u"empty", std::nullopt},
      {"double quotation marks", "AGENT_MSI_URL = \"/p/x.msi\";\n", u"", std::nullopt},
      {"not a script at all", "<html><body>Maintenance</body></html>\n", u"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(toPath(runLogPath()));
    const Outcome outcome = lookUpScript(c.script, c.modes);
    if (c.path) {
      EXPECT_TRUE(outcome.result);
      EXPECT_EQ(outcome.url, kPrefix + *c.path);
      EXPECT_TRUE(outcome.log.empty());
    } else {
      EXPECT_FALSE(outcome.result);
      EXPECT_EQ(outcome.url, u"<untouched>");
      EXPECT_EQ(outcome.log, std::vector<std::u16string>{kKeyMissing});
    }
  }
}

TEST_F(DownloadUrlTest, AStatusOutside2xxIsLoggedAndTheBodyIsNotLookedAt) {
  for (const int status : {404, 403, 302}) {
    SCOPED_TRACE(status);
    fs::remove(toPath(runLogPath()));
    // status=302 carries no Location, so there is nothing to follow.
    const Outcome outcome = lookUpScript("AGENT_MSI_URL = '/p/x.msi';", u"status=" + fromUtf8(std::to_string(status)));
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.url, u"<untouched>");
    EXPECT_EQ(outcome.log, std::vector<std::u16string>{kLogStart + u"455 ResponseCode =" +
                                                       fromUtf8(std::to_string(status))});
  }
}

TEST_F(DownloadUrlTest, AFailureThatMayPassIsTriedAgainWithinTheBound) {
  // The bound is 3 s here (QUILLON_TEST_RETRY_SECONDS), the pauses shortened alike; a Retry-After is honoured.
  const struct {
    const char* what;
    std::u16string modes;
    // Every retry's line after its number, or its end where the platforms word it apart. A pause that no
    // Retry-After sets is random (under the bound, it may round to a second or more): "(*)" stands for it.
    std::u16string retry;
    std::u16string failure;  // the last line, when the lookup fails
  } cases[] = {
      {"503 once, with a Retry-After", u"status=503,retry-after=1,times=1", u"ResponseCode =503 Retry(1)", u""},
      {"the script cut short once", u"truncate=20,times=1", u" Retry(*)", u""},
      {"503 every time", u"status=503", u"ResponseCode =503 Retry(*)", kLogStart + u"455 ResponseCode =503"},
  };
  const auto withAnyPause = [](const std::u16string& entry, const std::u16string& expected) {
    const std::u16string any = u"(*)";
    const bool random = expected.size() >= any.size() && expected.compare(expected.size() - any.size(), any.size(), any) == 0;
    return random ? entry.substr(0, entry.rfind(u'(')) + any : entry;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(toPath(runLogPath()));
    const Outcome outcome = lookUpScript("AGENT_MSI_URL = '/p/x.msi';\n" + std::string(100, ';'), c.modes);
    EXPECT_EQ(outcome.result, c.failure.empty());
    std::vector<std::u16string> retries = outcome.log;
    if (!c.failure.empty()) {
      ASSERT_FALSE(retries.empty());
      EXPECT_EQ(retries.back(), c.failure);
      retries.pop_back();
    }
    EXPECT_GE(retries.size(), c.failure.empty() ? 1u : 2u);
    for (const std::u16string& entry : retries) {
      EXPECT_EQ(entry.substr(0, kRetryStart.size()), kRetryStart) << toUtf8(entry);
      const std::u16string shown = withAnyPause(entry, c.retry);
      EXPECT_EQ(shown.substr(shown.size() - std::min(shown.size(), c.retry.size())), c.retry) << toUtf8(entry);
    }
  }
}

TEST_F(DownloadUrlTest, WorksOverPlainHttpToo) {
  const std::u16string path = folder.put("config.js", "AGENT_MSI_URL = '/p/x.msi';");
  const Outcome outcome = lookUp(httpBase() + path);
  EXPECT_TRUE(outcome.result);
  EXPECT_EQ(outcome.url, kPrefix + u"/p/x.msi");
}

TEST_F(DownloadUrlTest, AUrlOf511UnitsFillsTheBufferAndOneMoreIsRefused) {
  const std::size_t room = kPackageUrlCapacity - 1 - kPrefix.size();
  const std::string fits = "/" + std::string(room - 1, 'a');
  Outcome outcome = lookUpScript("AGENT_MSI_URL = '" + fits + "'");
  EXPECT_TRUE(outcome.result);
  EXPECT_EQ(outcome.url.size(), kPackageUrlCapacity - 1);
  EXPECT_EQ(outcome.url, kPrefix + fromUtf8(fits));

  outcome = lookUpScript("AGENT_MSI_URL = '" + fits + "b'");
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(outcome.url, u"<untouched>");
  EXPECT_EQ(outcome.log, std::vector<std::u16string>{kLogStart + u"476 URL Length Error(512)"});
}

TEST_F(DownloadUrlTest, AServerThatCannotBeReachedIsAFalseResultWithTheReasonLogged) {
  // Port 1 on the loopback: nothing listens there, so the connection is refused at once, every time.
  const Outcome outcome = lookUp(u"http://localhost:1/dist/Windows/config.js");
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(outcome.url, u"<untouched>");
  ASSERT_GE(outcome.log.size(), 1u);
  const std::u16string& last = outcome.log.back();
  EXPECT_EQ(last.substr(0, kLogStart.size() + 4), kLogStart + u"448 ");
  EXPECT_NE(last.find(u" Error("), std::u16string::npos) << toUtf8(last);
  // Tried again meanwhile, each time with the same reason. The Linux build's reason is curl's message, which
  // holds the time the try took ("after 0 ms"): that part may differ from try to try.
  const auto timeless = [](const std::u16string& text) {
    return fromUtf8(std::regex_replace(toUtf8(text), std::regex("[0-9]+ ms"), "N ms"));
  };
  const std::u16string reason = timeless(last.substr(kLogStart.size() + 4));
  for (std::size_t i = 0; i + 1 < outcome.log.size(); ++i) {
    const std::u16string line = timeless(outcome.log[i]);
    EXPECT_EQ(line.substr(0, kRetryStart.size() + reason.size() + 7), kRetryStart + reason + u" Retry(") << toUtf8(line);
  }
}

TEST_F(DownloadUrlTest, AServerThatStallsEndsTheLookupAtItsTimeLimitAsAnUnreachableOneDoes) {
  // The tool waits 90 s at most; the same wait with a shorter limit, so that the tests need not take as long.
  const std::chrono::seconds limit{4};
  const struct {
    const char* what;
    std::u16string modes;
    bool answered;
  } cases[] = {
      {"stalled before the headers", u"stall", false},
      {"stalled in the body", u"stall-after=10", false},
      {"an answer after a delay shorter than the limit", u"delay=2", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(toPath(runLogPath()));
    // More than the 10 bytes that the stall in the body lets through.
    const std::u16string path = folder.put("config.js", "AGENT_MSI_URL = '/p/x.msi';\n" + std::string(500, ';'));
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = lookUp(httpsBase() + faulty(c.modes, path), limit);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (c.answered) {
      EXPECT_TRUE(outcome.result);
      EXPECT_EQ(outcome.url, kPrefix + u"/p/x.msi");
      EXPECT_TRUE(outcome.log.empty());
      EXPECT_GE(elapsed, std::chrono::seconds(2));
      continue;
    }
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.url, u"<untouched>");
    ASSERT_EQ(outcome.log.size(), 1u);
    EXPECT_EQ(outcome.log[0].substr(0, kLogStart.size() + 4), kLogStart + u"448 ");
    EXPECT_NE(outcome.log[0].find(u"timed out"), std::u16string::npos) << toUtf8(outcome.log[0]);
    EXPECT_GE(elapsed, limit - std::chrono::milliseconds(100));
    // Well short of the tool's 90 s, with room for a busy machine.
    EXPECT_LT(elapsed, limit + std::chrono::seconds(30));
  }
}

TEST_F(DownloadUrlTest, TheToolLooksUpItsOwnServersScript) {
  // The one test that serves the address compiled into the test build: /dist/Windows/config.js.
  const fs::path script = serverRoot() / "dist" / "Windows" / "config.js";
  fs::create_directories(script.parent_path());
  writeBytes(script, "var AGENT_MSI_URL = '/dist/Windows/agent/Setup.msi';\n");
  char16_t url[kPackageUrlCapacity] = {};
  const bool found = Helper::getDownloadUrl(url);
  fs::remove_all(serverRoot() / "dist");
  EXPECT_TRUE(found);
  EXPECT_EQ(std::u16string(url), std::u16string(ServerBaseUrl) + u"/dist/Windows/agent/Setup.msi");
  EXPECT_EQ(std::u16string(kConfigScriptUrl), httpsBase() + u"/dist/Windows/config.js");
}

}  // namespace
