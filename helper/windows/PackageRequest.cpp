// Windows body of helper/PackageRequest.h: WinHTTP, synchronous, on the road the user's Internet settings name
// (helper/windows/ProxyRoad.h), each session's calls on a thread of their own (helper/windows/HttpExchange.h)
// while this thread keeps the window answering and hands the response on. The session asks for TLS 1.2 (and
// 1.3 where Windows has it), sets every time-out, and lets a proxy that asks for Negotiate or NTLM have the
// logged-on user's own credentials, once per request; redirects and certificate checks follow the platform's
// defaults. A resumed request carries its Range and If-Range as the request's additional headers.
#include "helper/PackageRequest.h"

#include "helper/Retry.h"
#include "helper/windows/HttpExchange.h"
#include "helper/windows/ProxyRoad.h"
#include "log/LogSite.h"
#include "platform/Progress.h"
#include "platform/Text.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <string>

namespace quillon {

namespace {

using Clock = std::chrono::steady_clock;

// The request headers a resumed request adds; empty for the whole package.
std::u16string resumeHeaders(const std::optional<ResumeRequest>& resume) {
  if (!resume) return u"";
  return u"Range: bytes=" + fromUtf8(std::to_string(resume->from)) + u"-\r\nIf-Range: " + resume->ifRange;
}

std::u16string failureText(const char16_t* call, unsigned long code) {
  return formatText(u"%s Error(%u)", {call, code});
}

// A failed call, in the form of the platform's log lines: "WinHttpReceiveResponse Error(12002)".
TransferResult failed(const char16_t* call, unsigned long code = GetLastError()) {
  TransferResult result;
  result.mayPass = winHttpErrorMayPass(code);
  result.failure = failureText(call, code);
  return result;
}

// The transfer ended by the response's own choice: its reasons are its own.
TransferResult endedByResponse() { return TransferResult(); }

TransferResult cancelled() {
  TransferResult result;
  result.cancelled = true;
  return result;
}

TransferResult completed() {
  TransferResult result;
  result.completed = true;
  return result;
}

// The latest moment for a head: one call's time-out past the deadline.
Clock::time_point headLimit(Clock::time_point deadline) {
  return deadline >= Clock::time_point::max() - kCallTimeLimit ? Clock::time_point::max() : deadline + kCallTimeLimit;
}

// The body of an answer whose head has arrived.
TransferResult transferBody(HttpExchange& exchange, PackageResponse& response) {
  // Before the response touches the file: a cancel since the request was sent keeps it as it was.
  if (cancelRequested()) return cancelled();
  if (!response.onResponse(exchange.head())) return endedByResponse();
  switch (exchange.receiveBody(response)) {
    case HttpExchange::Outcome::Done:
      return completed();
    case HttpExchange::Outcome::Stopped:
      return endedByResponse();
    case HttpExchange::Outcome::Cancelled:
      return cancelled();
    case HttpExchange::Outcome::Failed:
    case HttpExchange::Outcome::TimedOut:
      break;
  }
  return failed(exchange.failedCall(), exchange.failedCode());
}

}  // namespace

TransferResult requestPackage(const char16_t* url, const std::optional<ResumeRequest>& resume,
                              PackageResponse& response, Clock::time_point deadline) {
  if (loadSystemLibrary("winhttp.dll") == nullptr) return failed(u"LoadLibrary");
  if (!WinHttpCheckPlatform()) return failed(u"WinHttpCheckPlatform");
  const UserProxySettings settings;
  if (!settings.isRead()) return failed(u"WinHttpGetIEProxyConfigForCurrentUser", settings.error());

  // A cancel is heard before the road's choice, after it (a step it stopped stops the download: never a
  // fall-back), and before each connection.
  if (cancelRequested()) return cancelled();
  const ProxyRoad& road = roadFor(url, settings);
  if (road.cancelled) return cancelled();
  const std::u16string headers = resumeHeaders(resume);

  // An automatic road's entries are tried in order, each as long as the connection to the one before failed
  // and the deadline has not passed; every other road is one session with the manual proxy and its bypass
  // list, or WinHTTP's default.
  for (std::size_t session = 0;; ++session) {
    if (cancelRequested()) return cancelled();
    HttpExchange exchange(sessionRoad(road, session, settings), url, headers);
    const HttpExchange::Outcome head = exchange.awaitHead(headLimit(deadline));
    if (head == HttpExchange::Outcome::Cancelled) return cancelled();
    for (const ProxyNote& note : exchange.takeNotes()) WriteLog(*note.site, note.text.c_str());
    if (head == HttpExchange::Outcome::Done) return transferBody(exchange, response);

    const unsigned long code = exchange.failedCode();
    const bool next = tryNextSession(road, session, code) && Clock::now() < deadline;
    logSessionFailure(road, session, settings, code, failureText(exchange.failedCall(), code), next);
    if (!next) return failed(exchange.failedCall(), code);
  }
}

}  // namespace quillon
