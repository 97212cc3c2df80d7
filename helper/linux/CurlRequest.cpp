// Linux body of the GET that stands in for XMLHTTP and WinHTTP.
#include "helper/linux/CurlRequest.h"

#include "platform/Text.h"

#include <cstdlib>

namespace quillon {

namespace {

// libcurl's process-wide set-up, done once before the first handle (thread-safe as a local static).
bool curlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

constexpr long kConnectTimeoutSeconds = 60;
constexpr long kSilenceTimeoutSeconds = 30;
constexpr long kMaxRedirects = 10;

}  // namespace

CurlGet::CurlGet(const char16_t* url) : url_(toUtf8(url)) {
  if (!curlReady() || curl_.get() == nullptr) return;
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
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kSilenceTimeoutSeconds) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;

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
  return curl_easy_perform(curl_.get());
}

long CurlGet::status() const {
  long status = 0;
  if (curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return 0;
  return status;
}

std::u16string CurlGet::describe(CURLcode code) const {
  const char* detail = error_[0] != '\0' ? error_ : curl_easy_strerror(code);
  return formatText(u"curl Error(%d) %s", {static_cast<int>(code), fromUtf8(detail)});
}

}  // namespace quillon
