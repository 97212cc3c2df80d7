// Trying a server request again after a failure that may pass, the same rules for the lookup and the
// download on both builds. Nothing on the PC has changed while either runs (the package is proved before the
// uninstall), so a second try is safe; what is tried again, how long the pauses are and when the tool gives
// up are decided here and nowhere else.
//
// On a migration day hundreds of PCs start within minutes of each other: a server or the CDN in front of it
// sheds load with 503 or 429 and a Retry-After, and office Wi-Fi and VPN links drop transfers. A crowd that
// came back after exactly the Retry-After would meet the same full server again, all at once, and give up
// after a few tries. So each pause is the Retry-After (up to a cap) plus a random share of a ceiling that
// doubles with every failed try ("full jitter"): the crowd spreads out over the time the server needs.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct LogSite;

namespace quillon {

// --- What may pass ---------------------------------------------------------------------------------------

// A status that says "not now": 408, 429, 500, 502, 503 and 504. Every other status is the server's answer
// and stays the outcome (404, 403, a redirect that cannot be followed...).
bool statusMayPass(long status);

// Platform errors that may pass: no connection, a connection cut, a time-out. A certificate or TLS error, a
// name that does not resolve, a URL the request refuses and anything else are not tried again.
// WinHTTP's codes (and WinINet's, which share their numbers), as GetLastError gives them:
bool winHttpErrorMayPass(unsigned long code);
// The HRESULTs of the lookup's XMLHTTP object: WinINet's codes as HRESULTs and URL moniker errors.
bool comErrorMayPass(long result);
// libcurl's CURLcode values (the Linux build's requests).
bool curlErrorMayPass(int code);

// --- Pauses and bounds -----------------------------------------------------------------------------------

struct RetryPolicy {
  int tries;                                  // tries in all, the first one included
  std::chrono::milliseconds window;           // no try begins later than this after the first (see below)
  std::chrono::milliseconds firstCeiling;     // the random part of the first pause lies below this ...
  std::chrono::milliseconds ceilingLimit;     // ... and doubles with each failed try up to this
  std::chrono::milliseconds retryAfterLimit;  // a longer Retry-After is taken as this
};

// The lookup: 12 tries, begun within 2 minutes; each try may take 90 s at most (kConfigScriptTimeLimit).
// The download: 12 tries, begun within 5 minutes of the first (a try under way is never cut by the bound, so
// a slow package that keeps arriving is not given up). Pauses: the Retry-After, if any, up to 30 s, plus a random share of 2 s, 4 s, 8 s, 16 s, then
// 20 s for every later pause. So a PC waits no more than about 10 minutes in all before it reports failure
// (2 min + the lookup's last try of at most 90 s, 5 min + the download's last try, which a silent server ends
// after 90 s).
//
// Measured against a crowd (a server that serves 4 requests at once, 503 and Retry-After: 2 beyond that, 2 s
// per package, a quarter of the transfers cut half-way): 100 PCs all migrate, the last after about 1.6 times
// the time the server needs for 100 packages, with 5 to 7 requests per PC on average. Honouring the
// Retry-After alone with 3 tries migrated 13 of 40.
inline constexpr RetryPolicy kLookupRetry{12, std::chrono::minutes(2), std::chrono::seconds(2),
                                          std::chrono::seconds(20), std::chrono::seconds(30)};
inline constexpr RetryPolicy kDownloadRetry{12, std::chrono::minutes(5), std::chrono::seconds(2),
                                            std::chrono::seconds(20), std::chrono::seconds(30)};

// The policy the tool runs with. The test builds can shorten it, never lengthen it (platform/TestHooks.h:
// QUILLON_TEST_RETRY_SECONDS=N, up to 3 digits): the window is then at most N seconds, and the growing pauses
// shrink in the same proportion (a Retry-After is still honoured as sent, up to the cap and the window).
RetryPolicy retryPolicy(const RetryPolicy& product);

// Uniform numbers in [0, 1). The tool's own is seeded differently in every process, so that PCs started in
// the same second do not pause alike; the tests give a fixed one.
using RandomSource = std::function<double()>;
RandomSource processRandom();

// The pauses and the bound of one request's tries.
class RetrySchedule {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // The first try begins now.
  RetrySchedule(const RetryPolicy& policy, RandomSource random, Clock clock = std::chrono::steady_clock::now);

  // After a try that failed in a way that may pass: the pause before the next try (`retryAfter` is the
  // server's wish, if it gave one), or nothing when that try would lie past the bound.
  std::optional<std::chrono::milliseconds> nextPause(std::optional<std::chrono::seconds> retryAfter);

  // The bound: no try begins after it (a try under way may be given this as its own end).
  std::chrono::steady_clock::time_point deadline() const { return start_ + policy_.window; }

 private:
  RetryPolicy policy_;
  RandomSource random_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  int tries_ = 1;
};

// The log text of a retry: the reason, in the form of the platform's lines ("ResponseCode =503",
// "WinHttpReceiveResponse Error(12002)", "curl Error(7) ..."), cut so that the whole entry keeps within the
// log's limit, then " Retry(S)" with the pause in whole seconds.
std::u16string retryLogText(std::u16string_view reason, std::chrono::milliseconds pause);

// The reason logged for a "response" of status 0: no HTTP answer came at all (under Wine the lookup's request
// object reports a connection reset so). On every platform that is a failure that may pass, never a status.
inline constexpr char16_t kNoResponseReason[] = u"No Response(Status 0)";

// --- The tries ---------------------------------------------------------------------------------------------

// How one try ended.
struct TryOutcome {
  enum class End { Done, Failed, MayPass };
  End end = End::Failed;
  std::u16string reason;      // a failure's reason for the log, where it has one
  std::u16string retryAfter;  // the server's Retry-After, as sent
};

enum class TriesEnd {
  Done,       // a try succeeded
  Failed,     // a try failed in a way that does not pass
  GaveUp,     // the last try may have passed, but no further try fits the schedule
  Cancelled,  // the user stopped the run: no further try, and no line logged for the try it ended
};

// The one driver of the lookup's and the download's tries: runs `attempt` until a try succeeds or fails for
// good, the schedule gives no further pause, or the user cancels. A cancel is looked for before every try and
// after every try that did not succeed (a failure in a cancelled run is the cancel's doing). Before each retry
// it logs retryLogText at `retrySite` and waits the pause on the progress (waitBeforeRetry).
TriesEnd runTries(RetrySchedule& schedule, const LogSite& retrySite, const std::function<TryOutcome()>& attempt);

}  // namespace quillon
