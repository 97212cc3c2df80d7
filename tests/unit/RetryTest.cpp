// The rules for trying a server request again: what may pass, the pauses and their bound, the server's
// Retry-After, and which answers continue a cut download.
#include "helper/PackageRequest.h"
#include "helper/Resume.h"
#include "helper/Retry.h"
#include "helper/RetryAfter.h"
#include "helper/ServerAccess.h"
#include "helper/ServerCheck.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Progress.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace quillon;
using namespace std::chrono_literals;
using testing_support::ScopedEnvironment;
using testing_support::ScopedTempEnvironment;
using testing_support::TempDirectory;

namespace {

TEST(Retry, OnlyFailuresThatMayPassAreTriedAgain) {
  for (const long status : {408L, 429L, 500L, 502L, 503L, 504L}) EXPECT_TRUE(statusMayPass(status)) << status;
  for (const long status : {200L, 206L, 302L, 304L, 400L, 401L, 403L, 404L, 407L, 416L, 501L, 505L, 511L}) {
    EXPECT_FALSE(statusMayPass(status)) << status;
  }

  const auto winHttp = [](long code) { return winHttpErrorMayPass(static_cast<unsigned long>(code)); };
  const auto com = [](long code) { return comErrorMayPass(code); };
  const auto curl = [](long code) { return curlErrorMayPass(static_cast<int>(code)); };
  const struct {
    const char* what;
    std::function<bool(long)> mayPass;
    long code;
    bool passes;
  } cases[] = {
      {"WinHTTP: time-out", winHttp, 12002, true},
      {"WinHTTP: cannot connect", winHttp, 12029, true},
      {"WinHTTP: connection broken", winHttp, 12030, true},
      {"WinHTTP: no whole response head", winHttp, 12152, true},
      {"WinHTTP under Wine: a silent proxy's tunnel (socket time-out)", winHttp, 10060, true},
      {"WinHTTP: name not resolved", winHttp, 12007, false},
      {"WinHTTP: certificate of an unknown CA", winHttp, 12045, false},
      {"WinHTTP: TLS failure", winHttp, 12175, false},
      {"WinHTTP: a scheme it does not take", winHttp, 12006, false},
      {"XMLHTTP: time-out", com, static_cast<long>(0x80072EE2), true},
      {"XMLHTTP: connection reset", com, static_cast<long>(0x80072EFF), true},
      {"XMLHTTP: cannot connect (moniker)", com, static_cast<long>(0x800C0004), true},
      {"XMLHTTP: name not resolved", com, static_cast<long>(0x80072EE7), false},
      {"XMLHTTP: TLS channel", com, static_cast<long>(0x80072F7D), false},
      {"XMLHTTP: resource not found (moniker)", com, static_cast<long>(0x800C0005), false},
      {"XMLHTTP: a passing code outside the Win32 facility", com, static_cast<long>(0x80042EE2), false},
      {"XMLHTTP: access denied", com, static_cast<long>(0x80070005), false},
      {"curl: cannot connect", curl, 7, true},
      {"curl: body shorter than announced", curl, 18, true},
      {"curl: time-out", curl, 28, true},
      {"curl: nothing received", curl, 52, true},
      {"curl: receive error", curl, 56, true},
      {"curl: name not resolved", curl, 6, false},
      {"curl: TLS handshake", curl, 35, false},
      {"curl: certificate not verified", curl, 60, false},
      {"curl: the download ended the transfer", curl, 23, false},
      {"curl: too many redirects", curl, 47, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.mayPass(c.code), c.passes) << c.what;
}

TEST(RetrySchedule, PausesGrowWithFullJitterHonourTheRetryAfterAndKeepToTheBound) {
  const RetryPolicy policy{6, 60s, 2s, 10s, 30s};
  struct Call {
    std::chrono::milliseconds elapsed;  // since the first try began
    std::optional<std::chrono::seconds> retryAfter;
    std::optional<std::chrono::milliseconds> pause;
  };
  const struct {
    const char* what;
    double random;
    std::vector<Call> calls;
  } cases[] = {
      {"the ceiling doubles up to its limit, then the tries run out", 1.0,
       {{0s, {}, 2s}, {3s, {}, 4s}, {8s, {}, 8s}, {17s, {}, 10s}, {28s, {}, 10s}, {39s, {}, std::nullopt}}},
      {"a random share of the ceiling", 0.25, {{0s, {}, 500ms}, {1s, {}, 1s}, {2s, {}, 2s}, {5s, {}, 2500ms}}},
      {"the Retry-After first, up to its cap", 0.0, {{0s, 2s, 2s}, {3s, 45s, 30s}, {34s, 0s, 0s}}},
      {"the Retry-After and the jitter together", 0.5, {{0s, 3s, 4s}, {5s, 3s, 5s}}},
      {"no try past the window", 1.0, {{50s, {}, 2s}, {53s, {}, 4s}, {57s, {}, std::nullopt}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    std::chrono::milliseconds elapsed{0};
    RetrySchedule schedule(policy, [&c] { return c.random; }, [&] { return start + elapsed; });
    for (const Call& call : c.calls) {
      elapsed = call.elapsed;
      EXPECT_EQ(schedule.nextPause(call.retryAfter), call.pause) << "after " << call.elapsed.count() << " ms";
    }
  }
}

TEST(RetrySchedule, TheToolsPauseIsRandomPerProcessAndTheTestsCanOnlyShortenTheBound) {
  const RandomSource one = processRandom(), other = processRandom();
  std::vector<double> first, second;
  for (int i = 0; i < 4; ++i) first.push_back(one()), second.push_back(other());
  EXPECT_NE(first, second);
  for (const double share : first) EXPECT_TRUE(share >= 0.0 && share < 1.0) << share;

  {
    ScopedEnvironment unset("QUILLON_TEST_RETRY_SECONDS", "");  // the suite itself runs with short retries
    EXPECT_EQ(retryPolicy(kDownloadRetry).window, kDownloadRetry.window);
  }
  {
    ScopedEnvironment shorter("QUILLON_TEST_RETRY_SECONDS", "6");
    const RetryPolicy policy = retryPolicy(kDownloadRetry);
    EXPECT_EQ(policy.tries, kDownloadRetry.tries);
    EXPECT_EQ(policy.window, 6s);
    EXPECT_EQ(policy.firstCeiling, kDownloadRetry.firstCeiling * 6 / 300);
    EXPECT_EQ(policy.ceilingLimit, kDownloadRetry.ceilingLimit * 6 / 300);
    EXPECT_EQ(policy.retryAfterLimit, 6s);
  }
  for (const char* never : {"900", "1000", "5s", ""}) {
    ScopedEnvironment longer("QUILLON_TEST_RETRY_SECONDS", never);
    EXPECT_EQ(retryPolicy(kLookupRetry).window, kLookupRetry.window) << never;
  }
  // Everything within 10 minutes: both windows, and the last try of each (the lookup's 90 s, the download's
  // 60 s to connect and 30 s of silence).
  EXPECT_LE(kLookupRetry.window + kDownloadRetry.window + 90s + 90s, 10min);
}

TEST(Retry, TheLogLineGivesTheReasonAndThePauseWithinTheEntrysLimit) {
  EXPECT_EQ(retryLogText(u"ResponseCode =503", 3600ms), u"ResponseCode =503 Retry(4)");
  EXPECT_EQ(retryLogText(u"WinHttpReceiveResponse Error(12002)", 400ms), u"WinHttpReceiveResponse Error(12002) Retry(0)");
  const std::u16string longReason = u"curl Error(7) " + std::u16string(300, u'x');
  EXPECT_EQ(retryLogText(longReason, 2s), longReason.substr(0, 150) + u" Retry(2)");
}

// Status 0 is no HTTP answer on any platform (under Wine the lookup's request object reports a connection
// reset so): tried again as a failure that may pass, and, as the last, logged at the no-answer line, which the
// server check reports as "no server answered".
TEST(Retry, WhatEachConfigScriptResponseMeansToTheLookup) {
  const auto received = [](long status, std::u16string retryAfter = u"") {
    ScriptResponse response;
    response.received = true;
    response.status = status;
    response.retryAfter = std::move(retryAfter);
    return response;
  };
  const auto notReceived = [](std::u16string failure, bool mayPass) {
    ScriptResponse response;
    response.failure = std::move(failure);
    response.mayPass = mayPass;
    return response;
  };
  using End = TryOutcome::End;
  const struct {
    const char* what;
    ScriptResponse response;
    End end;
    std::u16string reason, retryAfter;
    const LogSite* lastLine;
    CheckStatus checked;  // what the server check reports when this is the lookup's last try
  } cases[] = {
      {"200", received(200), End::Done, u"", u"", nullptr, CheckStatus::Passed},
      {"any 2xx", received(203), End::Done, u"", u"", nullptr, CheckStatus::Passed},
      {"503 with a Retry-After", received(503, u"2"), End::MayPass, u"ResponseCode =503", u"2",
       &logsite::ConfigScriptStatus, CheckStatus::ScriptStatus},
      {"404", received(404), End::Failed, u"ResponseCode =404", u"", &logsite::ConfigScriptStatus,
       CheckStatus::ScriptStatus},
      {"status 0", received(0), End::MayPass, kNoResponseReason, u"", &logsite::ConfigScriptNoResponse,
       CheckStatus::NoAnswer},
      {"no connection", notReceived(u"curl Error(7) Failed to connect", true), End::MayPass,
       u"curl Error(7) Failed to connect", u"", &logsite::ConfigScriptNoResponse, CheckStatus::NoAnswer},
      {"an unknown CA", notReceived(u"curl Error(60) SSL certificate problem", false), End::Failed,
       u"curl Error(60) SSL certificate problem", u"", &logsite::ConfigScriptNoResponse, CheckStatus::NoAnswer},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ScriptTry judged = judgeScriptResponse(c.response);
    EXPECT_EQ(judged.outcome.end, c.end);
    EXPECT_EQ(toUtf8(judged.outcome.reason), toUtf8(c.reason));
    EXPECT_EQ(toUtf8(judged.outcome.retryAfter), toUtf8(c.retryAfter));
    EXPECT_EQ(judged.lastLine, c.lastLine);
    if (c.lastLine != nullptr) {
      EXPECT_EQ(checkFailure(CheckStep::Lookup, c.lastLine).status, c.checked);
    }
  }
}

// The one driver of the lookup's and the download's tries, here with pauses of nothing.
class RetryDriverTest : public ::testing::Test {
 protected:
  TempDirectory temp;
  ScopedTempEnvironment environment{temp.path()};
  const RetryPolicy policy{3, 60s, 1ms, 1ms, 1ms};

  // Runs the tries of `ends` in order (the last repeated), with `during` called inside each try.
  TriesEnd run(const std::vector<TryOutcome::End>& ends, int& tries, const std::function<void(int)>& during = {}) {
    RetrySchedule schedule(policy, [] { return 0.0; });
    tries = 0;
    return runTries(schedule, logsite::DownloadRetry, [&] {
      if (during) during(tries);
      const TryOutcome::End end = ends[std::min<std::size_t>(static_cast<std::size_t>(tries), ends.size() - 1)];
      ++tries;
      return TryOutcome{end, u"ResponseCode =503", u""};
    });
  }
};

TEST_F(RetryDriverTest, TriesAgainWhileTheFailureMayPassWithinTheBoundAndLogsEachRetryAtItsSite) {
  using End = TryOutcome::End;
  const struct {
    const char* what;
    std::vector<End> ends;
    TriesEnd end;
    int tries;
  } cases[] = {
      {"done at once", {End::Done}, TriesEnd::Done, 1},
      {"done after two that may pass", {End::MayPass, End::MayPass, End::Done}, TriesEnd::Done, 3},
      {"a failure that does not pass", {End::MayPass, End::Failed}, TriesEnd::Failed, 2},
      {"past the bound", {End::MayPass}, TriesEnd::GaveUp, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    boost::filesystem::remove(toPath(runLogPath()));
    int tries = 0;
    EXPECT_EQ(run(c.ends, tries), c.end);
    EXPECT_EQ(tries, c.tries);
    // One line before each retry, none for the try that ended the run.
    const std::u16string retryLine =
        u"INFO FILE:Helper.cpp FUNCTION:Helper::downloadFile LINE:495 ResponseCode =503 Retry(0)";
    const std::vector<std::u16string> lines(static_cast<std::size_t>(c.tries - 1), retryLine);
    EXPECT_EQ(testing_support::runLogEntries(), lines);
  }
}

TEST_F(RetryDriverTest, ACancelIsLookedForBeforeEveryTryAndEndsTheTriesWithoutALine) {
  if (testing_support::runsOnWindows()) GTEST_SKIP() << "the unit tests carry no progress window to cancel";
  using End = TryOutcome::End;
  const struct {
    const char* what;
    int pressedBeforeTry;  // Ctrl+C, the Linux build's Cancel, just before this try (-1: during the first try)
    TriesEnd end;
    int tries;
  } cases[] = {
      {"before the first try", 0, TriesEnd::Cancelled, 0},
      {"during a try that failed", -1, TriesEnd::Cancelled, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    boost::filesystem::remove(toPath(runLogPath()));
    openProgress();
    if (c.pressedBeforeTry == 0) std::raise(SIGINT);
    int tries = 0;
    const auto pressDuringTheFirstTry = [&](int tried) {
      if (c.pressedBeforeTry < 0 && tried == 0) std::raise(SIGINT);
    };
    EXPECT_EQ(run({End::MayPass}, tries, pressDuringTheFirstTry), c.end);
    closeProgress();
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(testing_support::runLogEntries(), std::vector<std::u16string>{});
  }
}

TEST(ParseRetryAfter, TakesSecondsOrAnyOfTheThreeHttpDatesUntilThen) {
  // Sun, 06 Nov 1994 08:49:37 GMT and half a second.
  const auto now = std::chrono::system_clock::time_point(784111777s) + 500ms;
  const struct {
    std::u16string_view text;
    std::optional<std::chrono::seconds> wait;
  } cases[] = {
      {u"120", 120s},
      {u" 7\t", 7s},
      {u"0", 0s},
      {u"99999999999999999999999", 1'000'000'000s},  // a very long wait, which the schedule caps
      {u"-5", std::nullopt},
      {u"1.5", std::nullopt},
      {u"", std::nullopt},
      {u"soon", std::nullopt},
      {u"Sun, 06 Nov 1994 08:50:37 GMT", 60s},  // 59.5 s, rounded up
      {u"Sunday, 06-Nov-94 08:50:37 GMT", 60s},
      {u"Sun Nov  6 08:50:37 1994", 60s},
      {u"Tue, 08 Nov 1994 08:49:37 GMT", 172800s},
      {u"Thu, 29 Feb 1996 00:00:00 GMT", 41'440'223s},
      {u"Sun, 06 Nov 1994 08:49:00 GMT", 0s},  // past
      {u"Saturday, 06-Nov-44 08:49:37 GMT", 1'000'000'000s},  // 2044, less than 50 years ahead
      {u"Monday, 06-Nov-45 08:49:37 GMT", 0s},  // 1945, not 2045
      {u"Sun, 06 Nov 1994 08:50:37 UTC", std::nullopt},
      {u"sun, 06 nov 1994 08:50:37 GMT", std::nullopt},
      {u"Sun, 6 Nov 1994 08:50:37 GMT", std::nullopt},
      {u"Thu, 31 Nov 1994 08:50:37 GMT", std::nullopt},
      {u"Thu, 29 Feb 1995 08:50:37 GMT", std::nullopt},
      {u"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
      {u"Sun Nov 6 08:50:37 1994", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseRetryAfter(c.text, now), c.wait) << toUtf8(c.text);
}

TEST(Resume, TheValidatorIsAStrongETagElseTheLastModified) {
  const struct {
    std::u16string_view etag, lastModified;
    std::optional<std::u16string> validator;
  } cases[] = {
      {u"\"5f-1a\"", u"Sun, 06 Nov 1994 08:49:37 GMT", u"\"5f-1a\""},
      {u" \"5f-1a\" ", u"", u"\"5f-1a\""},
      // A weak ETag vouches for no bytes, and the date does not stand in for an ETag the server gave.
      {u"W/\"5f-1a\"", u"Sun, 06 Nov 1994 08:49:37 GMT", std::nullopt},
      {u"5f-1a", u"Sun, 06 Nov 1994 08:49:37 GMT", std::nullopt},  // not quoted
      {u"", u" Sun, 06 Nov 1994 08:49:37 GMT", u"Sun, 06 Nov 1994 08:49:37 GMT"},
      {u"5f-1a", u"", std::nullopt},
      {u"W/\"5f-1a\"", u"", std::nullopt},
      {u"", u"", std::nullopt},
      {u"\"a\"b\"", u"", std::nullopt},
      {u"\"a\r\nX-Other: 1\"", u"", std::nullopt},  // would add a header of its own
      {u"", u"Sun, 06 Nov 1994\r\nX-Other: 1", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(resumeValidator(c.etag, c.lastModified), c.validator) << toUtf8(c.etag) << " / " << toUtf8(c.lastModified);
  }
}

TEST(Resume, OnlyTheExactRestOfTheSameFileContinuesIt) {
  const std::optional<ResumeRequest> asked = ResumeRequest{1000, u"\"v1\""};
  const std::optional<ResumeRequest> askedByDate = ResumeRequest{1000, u"Sun, 06 Nov 1994 08:49:37 GMT"};
  const std::optional<ResumeRequest> whole;
  const std::u16string_view date = u"Sun, 06 Nov 1994 08:49:37 GMT";
  const struct {
    const char* what;
    long status;
    std::u16string_view contentRange;
    std::optional<std::uint64_t> contentLength;
    std::u16string_view etag, lastModified;  // the answer's own validators
    std::optional<ResumeRequest> asked;
    std::optional<std::uint64_t> total;
    AnswerUse use;
  } cases[] = {
      {"the whole package", 200, u"", 5000, u"", u"", whole, std::nullopt, AnswerUse::WholePackage},
      {"the whole package, where the rest was asked for", 200, u"", 5000, u"\"v2\"", u"", asked, 5000,
       AnswerUse::WholePackage},
      {"the rest", 206, u"bytes 1000-4999/5000", 4000, u"\"v1\"", date, asked, 5000, AnswerUse::Rest},
      {"the rest, no length announced", 206, u"bytes 1000-4999/5000", std::nullopt, u"\"v1\"", u"", asked, 5000,
       AnswerUse::Rest},
      {"the unit in capitals", 206, u"BYTES 1000-4999/5000", 4000, u" \"v1\"", u"", asked, 5000, AnswerUse::Rest},
      {"a byte later", 206, u"bytes 1001-4999/5000", 3999, u"\"v1\"", u"", asked, 5000, AnswerUse::NotTheRest},
      {"another total", 206, u"bytes 1000-4999/5001", 4000, u"\"v1\"", u"", asked, 5000, AnswerUse::NotTheRest},
      {"short of the end", 206, u"bytes 1000-3999/5000", 3000, u"\"v1\"", u"", asked, 5000, AnswerUse::NotTheRest},
      {"a length that does not fit", 206, u"bytes 1000-4999/5000", 3999, u"\"v1\"", u"", asked, 5000,
       AnswerUse::NotTheRest},
      {"an unknown total", 206, u"bytes 1000-4999/*", 4000, u"\"v1\"", u"", asked, 5000, AnswerUse::NotTheRest},
      {"a range past its total", 206, u"bytes 1000-5000/5000", 4001, u"\"v1\"", u"", asked, 5000,
       AnswerUse::NotTheRest},
      {"no Content-Range", 206, u"", 4000, u"\"v1\"", u"", asked, 5000, AnswerUse::NotTheRest},
      // A cache that ignores If-Range serves a range of whatever it holds now: only the answer's own
      // validator tells the same file from a republished one of the same size.
      {"a range of a changed file", 206, u"bytes 1000-4999/5000", 4000, u"\"v2\"", date, asked, 5000,
       AnswerUse::NotTheRest},
      {"a range that names no ETag", 206, u"bytes 1000-4999/5000", 4000, u"", date, asked, 5000,
       AnswerUse::NotTheRest},
      {"a range with the ETag made weak", 206, u"bytes 1000-4999/5000", 4000, u"W/\"v1\"", u"", asked, 5000,
       AnswerUse::NotTheRest},
      {"the rest by date, where neither answer has an ETag", 206, u"bytes 1000-4999/5000", 4000, u"", date,
       askedByDate, 5000, AnswerUse::Rest},
      {"the date sent, but the range has an ETag", 206, u"bytes 1000-4999/5000", 4000, u"\"v1\"", date,
       askedByDate, 5000, AnswerUse::NotTheRest},
      {"another date", 206, u"bytes 1000-4999/5000", 4000, u"", u"Mon, 07 Nov 1994 08:49:37 GMT", askedByDate,
       5000, AnswerUse::NotTheRest},
      {"no date at all", 206, u"bytes 1000-4999/5000", 4000, u"", u"", askedByDate, 5000, AnswerUse::NotTheRest},
      {"a 206 nobody asked for", 206, u"bytes 0-4999/5000", 5000, u"\"v1\"", u"", whole, std::nullopt,
       AnswerUse::Refused},
      {"status 0: no answer at all", 0, u"", std::nullopt, u"", u"", whole, std::nullopt, AnswerUse::NoAnswer},
      {"status 0 to a resumed request", 0, u"", std::nullopt, u"", u"", asked, 5000, AnswerUse::NoAnswer},
      {"the server is busy", 503, u"", std::nullopt, u"", u"", asked, 5000, AnswerUse::TryAgain},
      {"a time-out", 408, u"", std::nullopt, u"", u"", whole, std::nullopt, AnswerUse::TryAgain},
      {"the range refused", 416, u"bytes */5000", std::nullopt, u"", u"", asked, 5000, AnswerUse::Refused},
      {"gone", 404, u"", std::nullopt, u"", u"", asked, 5000, AnswerUse::Refused},
  };
  for (const auto& c : cases) {
    ResponseHead head;
    head.status = c.status;
    head.contentRange = c.contentRange;
    head.contentLength = c.contentLength;
    head.etag = c.etag;
    head.lastModified = c.lastModified;
    EXPECT_EQ(useOfAnswer(head, c.asked, c.total), c.use) << c.what;
  }
}

}  // namespace
