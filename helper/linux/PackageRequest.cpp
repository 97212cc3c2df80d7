// Linux body of helper/PackageRequest.h: a libcurl GET (helper/linux/CurlRequest.h has the rules that stand
// in for WinHTTP's), its body handed over piece by piece as libcurl receives it.
#include "helper/PackageRequest.h"

#include "helper/linux/CurlRequest.h"

namespace quillon {

namespace {

constexpr long kReceiveBufferBytes = 256 * 1024;

class Transfer {
 public:
  Transfer(CurlGet& request, PackageResponse& response) : request_(request), response_(response) {}

  // libcurl's write callback. The bodies of redirects being followed are dropped; the final response is
  // announced before its first piece.
  static std::size_t write(char* data, std::size_t size, std::size_t count, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    if (transfer.request_.status() / 100 == 3) return bytes;
    if (!transfer.announce() || !transfer.response_.onBody(data, bytes)) return 0;  // a write error for libcurl
    return bytes;
  }

  // A response without a body is announced when the transfer ends.
  bool finish(CURLcode result) { return announce() && result == CURLE_OK; }

 private:
  bool announce() {
    if (!announced_) {
      announced_ = true;
      curl_off_t length = -1;
      std::optional<std::uint64_t> announcedLength;
      if (curl_easy_getinfo(request_.handle(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
          length >= 0) {
        announcedLength = static_cast<std::uint64_t>(length);
      }
      accepted_ = response_.onResponse(request_.status(), announcedLength);
    }
    return accepted_;
  }

  CurlGet& request_;
  PackageResponse& response_;
  bool announced_ = false;
  bool accepted_ = false;
};

}  // namespace

bool requestPackage(const char16_t* url, PackageResponse& response) {
  CurlGet request(url);
  if (!request.isReady()) return false;
  // What WINHTTP_FLAG_REFRESH sends: proxies and caches on the way must fetch a fresh copy.
  ManagedCurlHeaders headers;
  if (!appendHeader(headers, "Cache-Control: no-cache") || !appendHeader(headers, "Pragma: no-cache")) return false;

  Transfer transfer(request, response);
  CURL* curl = request.handle();
  if (curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::write) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer) != CURLE_OK) {
    return false;
  }
  const CURLcode result = request.perform();
  // No response at all (no connection, TLS): nothing to announce.
  if (request.status() == 0) return false;
  return transfer.finish(result);
}

}  // namespace quillon
