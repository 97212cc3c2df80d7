// Linux body of helper/PackageRequest.h: a libcurl GET (helper/linux/CurlRequest.h has the rules that stand
// in for WinHTTP's), its body handed over piece by piece as libcurl receives it.
#include "helper/PackageRequest.h"

#include "helper/Retry.h"
#include "helper/linux/CurlRequest.h"
#include "platform/Progress.h"
#include "platform/Text.h"

#include <string>

namespace quillon {

namespace {

constexpr long kReceiveBufferBytes = 256 * 1024;

using Clock = std::chrono::steady_clock;

class Transfer {
 public:
  Transfer(CurlGet& request, PackageResponse& response, Clock::time_point headLimit)
      : request_(request), response_(response), headLimit_(headLimit) {}

  // libcurl's progress callback, about once a second also while nothing arrives: the user's Ctrl+C ends the
  // transfer, and so does a head that has not begun by its limit (a body under way goes on).
  static int progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    if (cancelRequested()) {
      transfer.cancelled_ = true;
      return 1;
    }
    if (!transfer.announced_ && transfer.request_.status() == 0 && Clock::now() >= transfer.headLimit_) {
      transfer.headTimedOut_ = true;
      return 1;
    }
    return 0;
  }

  // libcurl's write callback. The bodies of redirects being followed are dropped; the final response is
  // announced before its first piece.
  static std::size_t write(char* data, std::size_t size, std::size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    if (transfer.request_.status() / 100 == 3) return bytes;
    if (!transfer.announce() || !transfer.response_.onBody(data, bytes)) {
      transfer.ended_ = true;
      return 0;  // a write error for libcurl
    }
    return bytes;
  }

  TransferResult finish(CURLcode result) {
    TransferResult outcome;
    if (cancelled_) {
      outcome.cancelled = true;
      return outcome;
    }
    if (headTimedOut_) {
      outcome.mayPass = curlErrorMayPass(CURLE_OPERATION_TIMEDOUT);
      outcome.failure = formatText(u"curl Error(%d) No answer by the download's deadline", {static_cast<int>(CURLE_OPERATION_TIMEDOUT)});
      return outcome;
    }
    // No response at all (no connection, TLS) has nothing to announce; a response without a body is
    // announced now.
    if (request_.status() != 0 && !announce()) ended_ = true;
    outcome.completed = result == CURLE_OK && !ended_;
    if (!outcome.completed && !ended_) {
      outcome.mayPass = curlErrorMayPass(result);
      outcome.failure = request_.describe(result);
    }
    return outcome;
  }

 private:
  bool announce() {
    if (!announced_) {
      announced_ = true;
      ResponseHead head;
      head.status = request_.status();
      curl_off_t length = -1;
      if (curl_easy_getinfo(request_.handle(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
          length >= 0) {
        head.contentLength = static_cast<std::uint64_t>(length);
      }
      head.contentRange = request_.header("Content-Range");
      head.etag = request_.header("ETag");
      head.lastModified = request_.header("Last-Modified");
      head.retryAfter = request_.header("Retry-After");
      accepted_ = response_.onResponse(head);
    }
    return accepted_;
  }

  CurlGet& request_;
  PackageResponse& response_;
  bool announced_ = false;
  bool accepted_ = false;
  bool ended_ = false;  // `response_` ended the transfer
  Clock::time_point headLimit_;
  bool cancelled_ = false;
  bool headTimedOut_ = false;
};

// One call's time past the deadline, for the head of a try begun before it.
Clock::time_point headLimit(Clock::time_point deadline) {
  return deadline >= Clock::time_point::max() - kCallTimeLimit ? Clock::time_point::max() : deadline + kCallTimeLimit;
}

}  // namespace

TransferResult requestPackage(const char16_t* url, const std::optional<ResumeRequest>& resume,
                              PackageResponse& response, Clock::time_point deadline) {
  TransferResult failed;
  CurlGet request(url);
  if (!request.isReady()) {
    failed.failure = request.describe(CURLE_FAILED_INIT);
    return failed;
  }
  // What WINHTTP_FLAG_REFRESH sends: proxies and caches on the way must fetch a fresh copy.
  ManagedCurlHeaders headers;
  bool ok = appendHeader(headers, "Cache-Control: no-cache") && appendHeader(headers, "Pragma: no-cache");
  std::string range;
  if (ok && resume) {
    range = std::to_string(resume->from) + "-";
    ok = appendHeader(headers, ("If-Range: " + toUtf8(resume->ifRange)).c_str());
  }

  Transfer transfer(request, response, headLimit(deadline));
  CURL* curl = request.handle();
  // The package's time-outs, as the Windows build's (helper/PackageRequest.h): libcurl's connection limit
  // covers the name's resolution too; silence is measured as under a byte a second.
  const long connectSeconds = static_cast<long>((kResolveTimeLimit + kConnectTimeLimit).count());
  if (!ok || curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectSeconds) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kReceiveTimeLimit.count())) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Transfer::progress) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_RANGE, range.empty() ? nullptr : range.c_str()) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::write) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer) != CURLE_OK) {
    failed.failure = request.describe(CURLE_OUT_OF_MEMORY);
    return failed;
  }
  return transfer.finish(request.perform());
}

}  // namespace quillon
