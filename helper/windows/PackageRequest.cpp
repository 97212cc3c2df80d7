// Windows body of helper/PackageRequest.h: WinHTTP, synchronous, with the user's manual proxy setting. The
// calls and their order are WinHTTP's usual ones for a GET; nothing is set on the session or the request, so
// redirects, time-outs and certificate checks follow the platform's defaults.
#include "helper/PackageRequest.h"

#include "helper/ContentLength.h"
#include "helper/ManagedResources.h"
#include "helper/windows/ManagedHttpHandle.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

namespace quillon {

namespace {

constexpr DWORD kUrlPartCapacity = 4096;  // host name and URL path, in wide characters

// A text WinHTTP hands out for the caller to free with GlobalFree (the user's proxy settings).
inline void freeGlobalText(LPWSTR text) { GlobalFree(text); }
using ManagedGlobalText = ManagedResource<LPWSTR, freeGlobalText>;

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

bool requestPackage(const char16_t* url, PackageResponse& response) {
  if (loadSystemLibrary("winhttp.dll") == nullptr || !WinHttpCheckPlatform()) return false;

  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxy;
  std::memset(&proxy, 0, sizeof(proxy));
  const bool proxyRead = WinHttpGetIEProxyConfigForCurrentUser(&proxy);
  const ManagedGlobalText autoConfigUrl(proxy.lpszAutoConfigUrl), proxyList(proxy.lpszProxy),
      proxyBypass(proxy.lpszProxyBypass);
  if (!proxyRead) return false;

  // Only a proxy the user has set by hand counts; automatic detection and configuration scripts do not.
  HINTERNET session = nullptr, connection = nullptr, request = nullptr;
  ManagedHttpHandle handles(&session, &connection, &request);
  if (proxyList.get() != nullptr) {
    session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyList.get(), proxyBypass.get(), 0);
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
      !response.onResponse(static_cast<long>(status), announcedLength(request))) {
    return false;
  }

  // Each pass takes what WinHTTP holds at that moment; an available count of 0 is the end of the body.
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return false;
    ManagedMemory<char> chunk(new (std::nothrow) char[available]);
    if (chunk.get() == nullptr) return false;
    std::memset(chunk.get(), 0, available);
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.get(), available, &read)) return false;
    if (read > 0 && !response.onBody(chunk.get(), read)) return false;
    if (available == 0) return true;
  }
}

}  // namespace quillon
