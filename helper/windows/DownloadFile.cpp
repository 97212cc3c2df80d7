// Windows body of the package download: WinHTTP, synchronous, with the user's manual proxy setting.
#include "helper/Helper.h"

#include "helper/ContentLength.h"
#include "helper/ManagedResources.h"
#include "helper/PackageFile.h"
#include "helper/windows/ManagedHttpHandle.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

using namespace quillon;

namespace {

constexpr DWORD kUrlPartCapacity = 4096;  // host name and URL path, in wide characters

// The user's proxy settings as WinHTTP hands them out: three texts the caller frees with GlobalFree.
class ManagedProxyConfig {
 public:
  ManagedProxyConfig() { std::memset(&config_, 0, sizeof(config_)); }
  virtual ~ManagedProxyConfig() {
    for (LPWSTR text : {config_.lpszAutoConfigUrl, config_.lpszProxy, config_.lpszProxyBypass}) {
      if (text != nullptr) GlobalFree(text);
    }
  }
  ManagedProxyConfig(const ManagedProxyConfig&) = delete;
  ManagedProxyConfig& operator=(const ManagedProxyConfig&) = delete;

  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* get() { return &config_; }

 private:
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config_;
};

// The Content-Length the server announced, if it announced one.
std::optional<std::uint64_t> announcedLength(HINTERNET request) {
  wchar_t text[32];
  DWORD size = sizeof(text);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return parseContentLength(std::u16string_view(asText(text), size / sizeof(wchar_t)));
}

}  // namespace

bool Helper::downloadFile(const char16_t* url, const char16_t* path, PackageFile& package) {
  if (loadSystemLibrary("winhttp.dll") == nullptr || !WinHttpCheckPlatform()) return false;

  ManagedProxyConfig proxy;
  if (!WinHttpGetIEProxyConfigForCurrentUser(proxy.get())) return false;

  // Only a proxy the user has set by hand counts; automatic detection and configuration scripts do not.
  HINTERNET session = nullptr, connection = nullptr, request = nullptr;
  ManagedHttpHandle handles(&session, &connection, &request);
  if (proxy.get()->lpszProxy != nullptr) {
    session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.get()->lpszProxy,
                          proxy.get()->lpszProxyBypass, 0);
  } else {
    session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  }
  if (session == nullptr) return false;

  ManagedMemory<wchar_t> hostName(new (std::nothrow) wchar_t[kUrlPartCapacity]);
  ManagedMemory<wchar_t> urlPath(new (std::nothrow) wchar_t[kUrlPartCapacity]);
  if (hostName.get() == nullptr || urlPath.get() == nullptr) return false;
  URL_COMPONENTS parts;
  std::memset(&parts, 0, sizeof(parts));
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = hostName.get();
  parts.dwHostNameLength = kUrlPartCapacity;
  parts.lpszUrlPath = urlPath.get();
  parts.dwUrlPathLength = kUrlPartCapacity;
  if (!WinHttpCrackUrl(asWide(url), 0, 0, &parts)) return false;

  connection = WinHttpConnect(session, hostName.get(), parts.nPort, 0);
  if (connection == nullptr) return false;
  // REFRESH asks every cache on the way for a fresh copy of the package.
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH
                                                              : WINHTTP_FLAG_REFRESH;
  request = WinHttpOpenRequest(connection, L"GET", urlPath.get(), nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (request == nullptr) return false;
  if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) return false;
  if (!WinHttpReceiveResponse(request, nullptr)) return false;

  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX) ||
      status != 200) {
    return false;  // an earlier file at the path is untouched
  }
  const std::optional<std::uint64_t> expectedLength = announcedLength(request);

  if (!package.create(path)) return false;

  // Each pass takes what WinHTTP holds at that moment; an available count of 0 is the end of the body.
  bool dataWritten = false;
  std::uint64_t received = 0;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return false;
    ManagedMemory<char> chunk(new (std::nothrow) char[available]);
    if (chunk.get() == nullptr) return false;
    std::memset(chunk.get(), 0, available);
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.get(), available, &read)) return false;
    if (read > 0) {
      dataWritten = true;
      if (!package.append(chunk.get(), read)) return false;
      received += read;
    }
    if (available == 0) break;
  }

  // A connection that closes early can look like the end of the body to WinHTTP (Wine's reports it so), so a
  // cut-off package is caught here, by its announced length. The file counts once it is held as written.
  if (expectedLength && received != *expectedLength) return false;
  return dataWritten && package.holdAsWritten();
}
