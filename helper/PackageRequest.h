// The package download's transport: one GET of the package, whose final response is handed over as it
// arrives, the status and the announced length first, then the body's pieces in order. The download's rules
// (helper/DownloadFile.cpp) decide what to keep; this only fetches. Windows: WinHTTP, synchronous, with the
// user's manual proxy setting. Linux: libcurl with the rules that stand in for WinHTTP's
// (helper/linux/CurlRequest.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quillon {

class PackageResponse {
 public:
  virtual ~PackageResponse() = default;
  // The final response (after redirects): its status, and the body length its Content-Length announced
  // (nothing when it announced none usable). Called once, before any body. False ends the transfer.
  virtual bool onResponse(long status, std::optional<std::uint64_t> announcedLength) = 0;
  // The next piece of the body. False ends the transfer.
  virtual bool onBody(const char* data, std::size_t size) = 0;
};

// Makes the GET and hands the response to `response`. True when the transfer ran to what the platform took
// for the end of the body; false when it failed (no connection, TLS, a read) or `response` ended it.
bool requestPackage(const char16_t* url, PackageResponse& response);

}  // namespace quillon
