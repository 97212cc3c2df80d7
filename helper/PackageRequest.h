// The package download's transport: one GET of the package, whose final response is handed over as it
// arrives, its head first, then the body's pieces in order. The download's rules (helper/DownloadFile.cpp)
// decide what to keep and whether to try again; this only fetches, and says how a failed transfer failed.
// Windows: WinHTTP, synchronous, on a thread of its own, on the road the user's Internet settings name. Linux:
// libcurl with the rules that stand in for WinHTTP's (helper/linux/CurlRequest.h).
#pragma once

#include "helper/Resume.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

// The head of the final response (after redirects), as far as the download's rules need it. The texts are
// the header values as sent, empty when a header is absent.
struct ResponseHead {
  long status = 0;
  std::optional<std::uint64_t> contentLength;  // nothing when the response announced no usable length
  std::u16string contentRange;
  std::u16string etag;
  std::u16string lastModified;
  std::u16string retryAfter;
};

class PackageResponse {
 public:
  virtual ~PackageResponse() = default;
  // Called once, before any body. False ends the transfer.
  virtual bool onResponse(const ResponseHead& head) = 0;
  // The next piece of the body. False ends the transfer.
  virtual bool onBody(const char* data, std::size_t size) = 0;
};

// How long each network call of the transfer may go without progress, the same on both builds. The
// platform's defaults leave name resolution unbounded and give a connection 60 s; on a migration day a PC
// that waits that long for a dead proxy or a silent server only delays its fall-back and its next try.
//  - name resolution: 10 s (a working resolver answers within a second; a dead one is tried again by Windows
//    within that time);
//  - the connection: 20 s (a loaded server's backlog, a VPN's first packet);
//  - sending the request (the proxy's tunnel and the TLS handshake included): 30 s;
//  - the wait for the answer, and for each piece of the body: 30 s of silence, not 30 s in all: a body
//    that keeps arriving, however slowly, is never cut.
// Linux has no separate resolution limit: its connection limit covers both (30 s).
inline constexpr std::chrono::seconds kResolveTimeLimit{10};
inline constexpr std::chrono::seconds kConnectTimeLimit{20};
inline constexpr std::chrono::seconds kSendTimeLimit{30};
inline constexpr std::chrono::seconds kReceiveTimeLimit{30};
// The longest of them: how far past its deadline a try may go before its answer has begun.
inline constexpr std::chrono::seconds kCallTimeLimit{30};

struct TransferResult {
  // The transfer ran to what the platform took for the end of the body.
  bool completed = false;
  // For a transfer that did not: whether the failure may pass (no connection, a cut, a time-out), and the
  // platform's words for the log ("WinHttpReceiveResponse Error(12002)", "curl Error(7) ..."). A transfer
  // that `response` ended is no failure of the platform's: its reasons are the response's own.
  bool mayPass = false;
  std::u16string failure;
  // The user cancelled (platform/Progress.h): the transfer stopped where it was, with nothing to say about
  // it (no failure, no proxy line); the response was told nothing more.
  bool cancelled = false;
};

// Makes the GET and hands the response to `response`, on the calling thread. With `resume`, the request asks
// only for the rest of the package (Range: bytes=FROM-, If-Range: the validator); the server may still answer
// with all of it.
//
// `deadline` is the end of the download's time: no proxy entry or connection is begun after it, and a try
// whose answer has not begun by then ends at the latest kCallTimeLimit later, however many proxy entries it
// has. A body under way is not cut by it: only silence (kReceiveTimeLimit) ends one. The user's cancel ends
// the transfer within about a second, whatever the network does meanwhile.
TransferResult requestPackage(const char16_t* url, const std::optional<ResumeRequest>& resume,
                              PackageResponse& response, std::chrono::steady_clock::time_point deadline);

}  // namespace quillon
