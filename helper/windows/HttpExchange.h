// Windows only: one GET of the package on one session's road, its WinHTTP calls (the session's opening, the
// connection, the request, the waits and every read) on a thread of its own, while the window's thread waits
// for it answering its messages (platform/windows/MessagePump.h) and does everything else: the file, the
// hash, the progress and the log, from the pieces the thread hands over.
//
// Each call has its time-out (helper/PackageRequest.h), set on the session; the waiting thread also keeps the
// clock on each call, a little longer than the call's own time-outs add up to, for a platform that does not
// hold them. A cancel or the clock gives the thread up at once: under Wine a synchronous call is not
// interrupted by closing its handle from another thread, so it is left to end on its own time-out. It shares
// nothing with the caller but its own state, which it keeps alive itself, and closes its handles itself.
#pragma once

#include "helper/PackageRequest.h"
#include "helper/ProxyRoute.h"
#include "helper/windows/ProxyRoad.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

struct Exchange;  // what the thread and the caller share

class HttpExchange {
 public:
  enum class Outcome {
    Done,       // the head arrived (awaitHead) / the body ended (receiveBody)
    Stopped,    // the response ended the body (PackageResponse::onBody said no)
    Failed,     // a call failed: failedCall() and failedCode()
    TimedOut,   // a call ran past its time on the clock, or the head past its deadline: failedCall()
    Cancelled,  // the user's cancel
  };

  HttpExchange(const SessionRoad& road, const char16_t* url, const std::u16string& headers);
  // Gives the thread up if it is still at work: it stops before its next call.
  ~HttpExchange();
  HttpExchange(const HttpExchange&) = delete;
  HttpExchange& operator=(const HttpExchange&) = delete;

  // Starts the thread and waits for the final answer's head (a proxy's sign-in answered on the way), at the
  // latest until `latest`.
  Outcome awaitHead(std::chrono::steady_clock::time_point latest);
  const ResponseHead& head() const;
  // The lines the thread has for the log (a proxy's sign-in), in order; the caller writes them.
  std::vector<ProxyNote> takeNotes();

  // Hands the body to `response` piece by piece, on this thread, until it ends.
  Outcome receiveBody(PackageResponse& response);

  // After Failed or TimedOut: the call, and the platform's code (ERROR_WINHTTP_TIMEOUT for the clock's).
  const char16_t* failedCall() const { return failedCall_; }
  unsigned long failedCode() const { return failedCode_; }

 private:
  template <typename Ready>
  Outcome await(Ready ready, std::chrono::steady_clock::time_point latest, std::chrono::milliseconds look);

  std::shared_ptr<Exchange> exchange_;
  const char16_t* failedCall_ = u"";
  unsigned long failedCode_ = 0;
};

}  // namespace quillon
