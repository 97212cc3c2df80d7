// The package download's transport: one GET of the package, whose final response is handed over as it
// arrives, its head first, then the body's pieces in order. The download's rules (helper/DownloadFile.cpp)
// decide what to keep and whether to try again; this only fetches, and says how a failed transfer failed.
// Windows: WinHTTP, synchronous, with the user's manual proxy setting. Linux: libcurl with the rules that
// stand in for WinHTTP's (helper/linux/CurlRequest.h).
#pragma once

#include "helper/Resume.h"

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

struct TransferResult {
  // The transfer ran to what the platform took for the end of the body.
  bool completed = false;
  // For a transfer that did not: whether the failure may pass (no connection, a cut, a time-out), and the
  // platform's words for the log ("WinHttpReceiveResponse Error(12002)", "curl Error(7) ..."). A transfer
  // that `response` ended is no failure of the platform's: its reasons are the response's own.
  bool mayPass = false;
  std::u16string failure;
};

// Makes the GET and hands the response to `response`. With `resume`, the request asks only for the rest of
// the package (Range: bytes=FROM-, If-Range: the validator); the server may still answer with all of it.
TransferResult requestPackage(const char16_t* url, const std::optional<ResumeRequest>& resume,
                              PackageResponse& response);

}  // namespace quillon
