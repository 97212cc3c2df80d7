// Windows body of helper/PackageRequest.h: WinHTTP, synchronous, with the user's manual proxy setting. The
// calls and their order are WinHTTP's usual ones for a GET; nothing is set on the session or the request, so
// redirects, time-outs and certificate checks follow the platform's defaults. A resumed request carries its
// Range and If-Range as the request's additional headers.
#include "helper/PackageRequest.h"

#include "helper/ContentLength.h"
#include "helper/ManagedResources.h"
#include "helper/Retry.h"
#include "helper/windows/ManagedHttpHandle.h"
#include "platform/Text.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>

namespace quillon {

namespace {

constexpr DWORD kUrlPartCapacity = 4096;  // host name and URL path, in wide characters

// A text WinHTTP hands out for the caller to free with GlobalFree (the user's proxy settings).
inline void freeGlobalText(LPWSTR text) { GlobalFree(text); }
using ManagedGlobalText = ManagedResource<LPWSTR, freeGlobalText>;

// A header of the response, as sent; empty when it has none.
std::u16string headerText(HINTERNET request, DWORD query) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return u"";
  std::u16string text(size / sizeof(wchar_t), u'\0');
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return u"";
  }
  text.resize(size / sizeof(wchar_t));
  return text;
}

ResponseHead responseHead(HINTERNET request, DWORD status) {
  ResponseHead head;
  head.status = static_cast<long>(status);
  head.contentLength = parseContentLength(headerText(request, WINHTTP_QUERY_CONTENT_LENGTH));
  head.contentRange = headerText(request, WINHTTP_QUERY_CONTENT_RANGE);
  head.etag = headerText(request, WINHTTP_QUERY_ETAG);
  head.lastModified = headerText(request, WINHTTP_QUERY_LAST_MODIFIED);
  head.retryAfter = headerText(request, WINHTTP_QUERY_RETRY_AFTER);
  return head;
}

// The request headers a resumed request adds; empty for the whole package.
std::u16string resumeHeaders(const std::optional<ResumeRequest>& resume) {
  if (!resume) return u"";
  return u"Range: bytes=" + fromUtf8(std::to_string(resume->from)) + u"-\r\nIf-Range: " + resume->ifRange;
}

// A failed call, in the form of the platform's log lines: "WinHttpReceiveResponse Error(12002)".
TransferResult failed(const char16_t* call, DWORD code = GetLastError()) {
  TransferResult result;
  result.mayPass = winHttpErrorMayPass(code);
  result.failure = formatText(u"%s Error(%u)", {call, static_cast<unsigned long>(code)});
  return result;
}

// The transfer ended by the response's own choice: its reasons are its own.
TransferResult endedByResponse() { return TransferResult(); }

}  // namespace

TransferResult requestPackage(const char16_t* url, const std::optional<ResumeRequest>& resume,
                              PackageResponse& response) {
  if (loadSystemLibrary("winhttp.dll") == nullptr) return failed(u"LoadLibrary");
  if (!WinHttpCheckPlatform()) return failed(u"WinHttpCheckPlatform");

  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxy;
  std::memset(&proxy, 0, sizeof(proxy));
  const bool proxyRead = WinHttpGetIEProxyConfigForCurrentUser(&proxy);
  const DWORD proxyError = GetLastError();
  const ManagedGlobalText autoConfigUrl(proxy.lpszAutoConfigUrl), proxyList(proxy.lpszProxy),
      proxyBypass(proxy.lpszProxyBypass);
  if (!proxyRead) return failed(u"WinHttpGetIEProxyConfigForCurrentUser", proxyError);

  // Only a proxy the user has set by hand counts; automatic detection and configuration scripts do not.
  HINTERNET session = nullptr, connection = nullptr, request = nullptr;
  ManagedHttpHandle handles(&session, &connection, &request);
  if (proxyList.get() != nullptr) {
    session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyList.get(), proxyBypass.get(), 0);
  } else {
    session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  }
  if (session == nullptr) return failed(u"WinHttpOpen");

  ManagedMemory<wchar_t> hostName(new (std::nothrow) wchar_t[kUrlPartCapacity]);
  ManagedMemory<wchar_t> urlPath(new (std::nothrow) wchar_t[kUrlPartCapacity]);
  if (hostName.get() == nullptr || urlPath.get() == nullptr) return failed(u"new", ERROR_NOT_ENOUGH_MEMORY);
  URL_COMPONENTS parts;
  std::memset(&parts, 0, sizeof(parts));
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = hostName.get();
  parts.dwHostNameLength = kUrlPartCapacity;
  parts.lpszUrlPath = urlPath.get();
  parts.dwUrlPathLength = kUrlPartCapacity;
  if (!WinHttpCrackUrl(asWide(url), 0, 0, &parts)) return failed(u"WinHttpCrackUrl");

  connection = WinHttpConnect(session, hostName.get(), parts.nPort, 0);
  if (connection == nullptr) return failed(u"WinHttpConnect");
  // REFRESH asks every cache on the way for a fresh copy of the package.
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH
                                                              : WINHTTP_FLAG_REFRESH;
  request = WinHttpOpenRequest(connection, L"GET", urlPath.get(), nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (request == nullptr) return failed(u"WinHttpOpenRequest");
  const std::u16string headers = resumeHeaders(resume);
  if (!WinHttpSendRequest(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : asWide(headers.c_str()),
                          headers.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    return failed(u"WinHttpSendRequest");
  }
  if (!WinHttpReceiveResponse(request, nullptr)) return failed(u"WinHttpReceiveResponse");

  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
    return failed(u"WinHttpQueryHeaders");
  }
  if (!response.onResponse(responseHead(request, status))) return endedByResponse();

  // Each pass takes what WinHTTP holds at that moment; an available count of 0 is the end of the body.
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return failed(u"WinHttpQueryDataAvailable");
    ManagedMemory<char> chunk(new (std::nothrow) char[available]);
    if (chunk.get() == nullptr) return failed(u"new", ERROR_NOT_ENOUGH_MEMORY);
    std::memset(chunk.get(), 0, available);
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.get(), available, &read)) return failed(u"WinHttpReadData");
    if (read > 0 && !response.onBody(chunk.get(), read)) return endedByResponse();
    if (available == 0) {
      TransferResult completed;
      completed.completed = true;
      return completed;
    }
  }
}

}  // namespace quillon
