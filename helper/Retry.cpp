#include "helper/Retry.h"

#include "helper/RetryAfter.h"
#include "log/LogSite.h"
#include "platform/Progress.h"
#include "platform/TestHooks.h"
#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace quillon {

namespace {

using std::chrono::milliseconds;

// WinHTTP's and WinINet's codes for a connection that could not be made, broke or went silent:
// ERROR_WINHTTP_TIMEOUT, CANNOT_CONNECT, CONNECTION_ERROR (WinINet: CONNECTION_ABORTED), WinINet's
// CONNECTION_RESET, INVALID_SERVER_RESPONSE (the connection closed inside the response's head) and WinINet's
// INTERNET_DISCONNECTED; and the socket's own WSAETIMEDOUT, which Wine's WinHTTP hands on for a proxy that
// accepts the connection and never answers the tunnel's request.
constexpr unsigned long kPassingWinHttpErrors[] = {12002, 12029, 12030, 12031, 12152, 12163, 10060};

// The URL moniker's INET_E_CANNOT_CONNECT, INET_E_DOWNLOAD_FAILURE (the transfer broke) and
// INET_E_CONNECTION_TIMEOUT, which XMLHTTP reports where it has no WinINet code to give.
constexpr unsigned long kPassingMonikerErrors[] = {0x800C0004, 0x800C0008, 0x800C000B};

// CURLE_COULDNT_CONNECT, HTTP2 (a broken HTTP/2 connection), PARTIAL_FILE (the body ended before its
// announced length), OPERATION_TIMEDOUT, GOT_NOTHING, SEND_ERROR, RECV_ERROR, HTTP2_STREAM.
constexpr int kPassingCurlErrors[] = {7, 16, 18, 28, 52, 55, 56, 92};

template <typename Table, typename Value>
bool listed(const Table& table, Value value) {
  return std::find(std::begin(table), std::end(table), value) != std::end(table);
}

// A log entry's head before the message takes at most 82 units, and " Retry(NNN)" 11 of the 255.
constexpr std::size_t kReasonLimit = 150;

}  // namespace

bool statusMayPass(long status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

bool winHttpErrorMayPass(unsigned long code) { return listed(kPassingWinHttpErrors, code); }

bool comErrorMayPass(long result) {
  const auto code = static_cast<unsigned long>(result) & 0xFFFFFFFFul;
  // HRESULT_FROM_WIN32: severity error, facility 7 (Win32), the code in the low 16 bits.
  if ((code & 0xFFFF0000ul) == 0x80070000ul) return winHttpErrorMayPass(code & 0xFFFFul);
  return listed(kPassingMonikerErrors, code);
}

bool curlErrorMayPass(int code) { return listed(kPassingCurlErrors, code); }

RetryPolicy retryPolicy(const RetryPolicy& product) {
  const std::optional<std::chrono::seconds> test = testRetrySeconds();
  if (!test) return product;
  RetryPolicy shorter = product;
  shorter.window = std::min<milliseconds>(product.window, *test);
  const double share = static_cast<double>(shorter.window.count()) / static_cast<double>(product.window.count());
  const auto scaled = [share](milliseconds pause) {
    return std::max(milliseconds(1), milliseconds(static_cast<long long>(static_cast<double>(pause.count()) * share)));
  };
  shorter.firstCeiling = scaled(product.firstCeiling);
  shorter.ceilingLimit = scaled(product.ceilingLimit);
  shorter.retryAfterLimit = std::min(product.retryAfterLimit, shorter.window);
  return shorter;
}

RandomSource processRandom() {
  std::seed_seq::result_type entropy[2] = {};
  try {
    std::random_device device;
    entropy[0] = device();
    entropy[1] = device();
  } catch (...) {
    // No source of the system's: the clock below still differs between processes and PCs.
  }
  const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::seed_seq seed{entropy[0], entropy[1], static_cast<std::seed_seq::result_type>(now),
                     static_cast<std::seed_seq::result_type>(now >> 32)};
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

RetrySchedule::RetrySchedule(const RetryPolicy& policy, RandomSource random, Clock clock)
    : policy_(policy), random_(std::move(random)), clock_(std::move(clock)), start_(clock_()) {}

std::optional<milliseconds> RetrySchedule::nextPause(std::optional<std::chrono::seconds> retryAfter) {
  if (tries_ >= policy_.tries) return std::nullopt;
  milliseconds ceiling = policy_.firstCeiling;
  for (int doubled = 1; doubled < tries_ && ceiling < policy_.ceilingLimit; ++doubled) ceiling *= 2;
  ceiling = std::min(ceiling, policy_.ceilingLimit);
  const double share = std::clamp(random_(), 0.0, 1.0);
  milliseconds pause(std::llround(share * static_cast<double>(ceiling.count())));
  if (retryAfter) pause += std::min<milliseconds>(std::max<milliseconds>(*retryAfter, milliseconds(0)), policy_.retryAfterLimit);
  if (clock_() + pause > start_ + policy_.window) return std::nullopt;
  ++tries_;
  return pause;
}

std::u16string retryLogText(std::u16string_view reason, milliseconds pause) {
  const auto seconds = static_cast<unsigned long>((pause.count() + 500) / 1000);
  return formatText(u"%s Retry(%u)", {reason.substr(0, cutLength(reason, kReasonLimit)), seconds});
}

TriesEnd runTries(RetrySchedule& schedule, const LogSite& retrySite, const std::function<TryOutcome()>& attempt) {
  for (;;) {
    if (cancelRequested()) return TriesEnd::Cancelled;
    const TryOutcome outcome = attempt();
    if (outcome.end == TryOutcome::End::Done) return TriesEnd::Done;
    if (cancelRequested()) return TriesEnd::Cancelled;
    if (outcome.end == TryOutcome::End::Failed) return TriesEnd::Failed;

    const auto pause = schedule.nextPause(parseRetryAfter(outcome.retryAfter, std::chrono::system_clock::now()));
    if (!pause) return TriesEnd::GaveUp;
    WriteLog(retrySite, retryLogText(outcome.reason, *pause).c_str());
    if (!waitBeforeRetry(*pause)) return TriesEnd::Cancelled;
  }
}

}  // namespace quillon
