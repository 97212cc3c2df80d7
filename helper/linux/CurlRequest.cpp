// Linux body of the GET that stands in for XMLHTTP and WinHTTP.
#include "helper/linux/CurlRequest.h"

#include "platform/Progress.h"
#include "platform/Text.h"

#include <cstdlib>
#include <cstring>

namespace quillon {

namespace {

// libcurl's process-wide set-up, done once before the first handle (thread-safe as a local static).
bool curlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

// libcurl refuses a URL with a blank, which WinHTTP sends escaped; a package path may hold one.
std::string escapeBlanks(const std::string& url) {
  std::string escaped;
  for (const char c : url) {
    if (c == ' ') {
      escaped += "%20";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// libcurl asks about once a second, also while nothing arrives: the user's Ctrl+C ends a request that waits
// for a server (CURLE_ABORTED_BY_CALLBACK).
int whileTransferring(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return cancelRequested() ? 1 : 0; }

constexpr long kConnectTimeoutSeconds = 60;
constexpr long kSilenceTimeoutSeconds = 30;
constexpr long kMaxRedirects = 10;

}  // namespace

// Called before every request is sent, the first and each redirect's: once a hop was https, a later hop
// over http is refused, whatever scheme the chain began with.
int CurlGet::beforeRequest(void* self, char*, char*, int, int) {
  CurlGet& get = *static_cast<CurlGet*>(self);
  const char* url = nullptr;
  curl_easy_getinfo(get.curl_.get(), CURLINFO_EFFECTIVE_URL, &url);
  const bool secure = url != nullptr && std::strncmp(url, "https://", 8) == 0;
  if (get.wasSecure_ && !secure) return CURL_PREREQFUNC_ABORT;
  get.wasSecure_ = get.wasSecure_ || secure;
  return CURL_PREREQFUNC_OK;
}

CurlGet::CurlGet(const char16_t* url) : url_(escapeBlanks(toUtf8(url))) {
  if (!curlReady()) return;
  curl_.reset(curl_easy_init());
  if (curl_.get() == nullptr) return;
  CURL* curl = curl_.get();
  const bool secure = url_.compare(0, 8, "https://") == 0;

  bool ok = curl_easy_setopt(curl, CURLOPT_URL, url_.c_str()) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &CurlGet::beforeRequest) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_PREREQDATA, this) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kSilenceTimeoutSeconds) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, whileTransferring) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;

  // libcurl has its CA locations compiled in and does not read OpenSSL's variables itself.
  if (const char* file = std::getenv("SSL_CERT_FILE"); ok && file != nullptr && *file != '\0') {
    ok = curl_easy_setopt(curl, CURLOPT_CAINFO, file) == CURLE_OK;
  }
  if (const char* folder = std::getenv("SSL_CERT_DIR"); ok && folder != nullptr && *folder != '\0') {
    ok = curl_easy_setopt(curl, CURLOPT_CAPATH, folder) == CURLE_OK;
  }
  ready_ = ok;
}

CURLcode CurlGet::perform() {
  error_[0] = '\0';
  wasSecure_ = false;
  return curl_easy_perform(curl_.get());
}

long CurlGet::status() const {
  long status = 0;
  if (curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return 0;
  return status;
}

std::u16string CurlGet::header(const char* name) const {
  curl_header* found = nullptr;
  if (curl_easy_header(curl_.get(), name, 0, CURLH_HEADER, -1, &found) != CURLHE_OK || found == nullptr) return u"";
  return fromUtf8(found->value);
}

std::u16string CurlGet::describe(CURLcode code) const {
  const char* detail = error_[0] != '\0' ? error_ : curl_easy_strerror(code);
  return formatText(u"curl Error(%d) %s", {static_cast<int>(code), fromUtf8(detail)});
}

}  // namespace quillon
