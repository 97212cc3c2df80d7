// Linux only: the GET both server requests make through libcurl, with the rules that stand in for the
// Windows request objects' defaults.
#pragma once

#include "platform/ManagedResource.h"

#include <curl/curl.h>

#include <string>

namespace quillon {

// A libcurl easy handle, and a list of request headers.
using ManagedCurlHandle = ManagedResource<CURL*, curl_easy_cleanup>;
using ManagedCurlHeaders = ManagedResource<curl_slist*, curl_slist_free_all>;

// Appends a header to the list; false, the list as it was, when there is no memory for it.
inline bool appendHeader(ManagedCurlHeaders& headers, const char* header) {
  curl_slist* longer = curl_slist_append(headers.get(), header);
  if (longer == nullptr) return false;
  headers.release();  // the old list is the start of the longer one
  headers.reset(longer);
  return true;
}

// One GET of `url`, set up as the Windows request objects behave by default:
//  - certificates are verified; the trusted CAs are the system's, or those of the OpenSSL variables
//    SSL_CERT_FILE (a bundle file) and SSL_CERT_DIR (a hashed folder) where they are set;
//  - the proxy the user has set by hand in the environment (http_proxy, https_proxy, all_proxy, no_proxy,
//    as libcurl reads them), and no other;
//  - redirects are followed, at most 10, never from https to http (not even later in a chain begun on http);
//  - blanks in the URL are sent escaped;
//  - a connection must be made within 60 s, and a transfer that receives nothing for 30 s ends (the
//    package's request sets the download's own limits, helper/PackageRequest.h);
//  - the user's cancel at the progress (platform/Progress.h) ends it within a second.
// The caller adds its own body handling and headers, then calls perform().
class CurlGet {
 public:
  explicit CurlGet(const char16_t* url);
  CurlGet(const CurlGet&) = delete;
  CurlGet& operator=(const CurlGet&) = delete;

  // False when no handle could be made or configured; nothing else may be called then.
  bool isReady() const { return ready_; }
  CURL* handle() const { return curl_.get(); }

  CURLcode perform();

  // The status of the last response received (after redirects), 0 when none came.
  long status() const;

  // A header's value in the last response received (the first of that name, as WinHTTP gives it); empty
  // when it has none.
  std::u16string header(const char* name) const;

  // "curl Error(<code>) <curl's explanation>", for the run log.
  std::u16string describe(CURLcode code) const;

 private:
  static int beforeRequest(void* self, char* connectedIp, char* localIp, int connectedPort, int localPort);

  ManagedCurlHandle curl_;
  std::string url_;
  char error_[CURL_ERROR_SIZE] = {};
  bool ready_ = false;
  bool wasSecure_ = false;  // a request of this chain went over https
};

}  // namespace quillon
