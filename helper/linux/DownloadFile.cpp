// Linux body of the package download: a libcurl GET streamed to the file (see CurlRequest.h for the rules
// that stand in for WinHTTP's).
#include "helper/Helper.h"

#include "helper/ManagedResources.h"
#include "helper/linux/CurlRequest.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdint>
#include <unistd.h>

using namespace quillon;

namespace {

constexpr long kReceiveBufferBytes = 256 * 1024;

class Download {
 public:
  Download(CurlGet& request, const char16_t* path) : request_(request), path_(toPath(path).string()) {}

  // The file is touched only once a 200 has arrived; it is then emptied and opened for appending.
  bool openFile() {
    if (file_.get() != nullptr) return true;
    if (opened_ || request_.status() != 200) return false;
    opened_ = true;
    // Appending to an old file that stays would put the package after its bytes: a file that cannot be
    // removed (a folder, a file in a folder we may not change) fails the download instead.
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) return false;
    *file_.receive() = std::fopen(path_.c_str(), "ab");
    return file_.get() != nullptr;
  }

  // libcurl's write callback: the body in pieces, in order.
  static std::size_t write(char* data, std::size_t size, std::size_t count, void* context) {
    Download& download = *static_cast<Download*>(context);
    const std::size_t bytes = size * count;
    const long status = download.request_.status();
    if (status != 200) return status / 100 == 3 ? bytes : 0;  // a redirect being followed; else give up
    if (!download.openFile()) return 0;
    const std::size_t written = std::fwrite(data, 1, bytes, download.file_.get());
    download.written_ += written;
    return written;  // fewer than `bytes` ends the transfer with a write error
  }

  bool finish(CURLcode result) {
    // A 200 whose body then failed (or was empty) still leaves the emptied file, as on Windows.
    if (request_.status() == 200) openFile();
    return result == CURLE_OK && file_.get() != nullptr && written_ > 0 && std::fflush(file_.get()) == 0;
  }

 private:
  CurlGet& request_;
  std::string path_;
  ManagedFileHandle file_;
  bool opened_ = false;
  std::uint64_t written_ = 0;
};

}  // namespace

bool Helper::downloadFile(const char16_t* url, const char16_t* path) {
  CurlGet request(url);
  if (!request.isReady()) return false;
  // What WINHTTP_FLAG_REFRESH sends: proxies and caches on the way must fetch a fresh copy.
  ManagedCurlHeaders headers;
  if (!headers.append("Cache-Control: no-cache") || !headers.append("Pragma: no-cache")) return false;

  Download download(request, path);
  CURL* curl = request.handle();
  if (curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Download::write) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download) != CURLE_OK) {
    return false;
  }
  return download.finish(request.perform());
}
