// Linux body of the package download: a libcurl GET streamed to the file (see CurlRequest.h for the rules
// that stand in for WinHTTP's).
#include "helper/Helper.h"

#include "helper/ManagedResources.h"
#include "helper/PackageFile.h"
#include "helper/linux/CurlRequest.h"

#include <cstdint>

using namespace quillon;

namespace {

constexpr long kReceiveBufferBytes = 256 * 1024;

class Download {
 public:
  Download(CurlGet& request, const char16_t* path, PackageFile& package)
      : request_(request), path_(path), package_(package) {}

  // The file is touched only once a 200 has arrived; it is then created anew.
  bool openFile() {
    if (created_) return true;
    if (opened_ || request_.status() != 200) return false;
    opened_ = true;
    created_ = package_.create(path_);
    return created_;
  }

  // libcurl's write callback: the body in pieces, in order.
  static std::size_t write(char* data, std::size_t size, std::size_t count, void* context) {
    Download& download = *static_cast<Download*>(context);
    const std::size_t bytes = size * count;
    const long status = download.request_.status();
    if (status != 200) return status / 100 == 3 ? bytes : 0;  // a redirect being followed; else give up
    if (!download.openFile() || !download.package_.append(data, bytes)) return 0;  // a write error for libcurl
    download.written_ += bytes;
    return bytes;
  }

  bool finish(CURLcode result) {
    // A 200 whose body then failed (or was empty) still leaves the new empty file, as on Windows.
    if (request_.status() == 200) openFile();
    return result == CURLE_OK && created_ && written_ > 0 && package_.holdAsWritten();
  }

 private:
  CurlGet& request_;
  std::u16string path_;
  PackageFile& package_;
  bool opened_ = false;
  bool created_ = false;
  std::uint64_t written_ = 0;
};

}  // namespace

bool Helper::downloadFile(const char16_t* url, const char16_t* path, PackageFile& package) {
  CurlGet request(url);
  if (!request.isReady()) return false;
  // What WINHTTP_FLAG_REFRESH sends: proxies and caches on the way must fetch a fresh copy.
  ManagedCurlHeaders headers;
  if (!headers.append("Cache-Control: no-cache") || !headers.append("Pragma: no-cache")) return false;

  Download download(request, path, package);
  CURL* curl = request.handle();
  if (curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Download::write) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download) != CURLE_OK) {
    return false;
  }
  return download.finish(request.perform());
}
