// Windows body of helper/PackageRequest.h: WinHTTP, synchronous, on the road the user's Internet settings name
// (helper/ProxyRoute.h): automatic detection, the configuration script, the manual proxy with its bypass list,
// direct. The session asks for TLS 1.2 (and 1.3 where Windows has it) and lets a proxy that asks for
// Negotiate or NTLM have the logged-on user's own credentials, once per request; redirects, time-outs and
// certificate checks follow the platform's defaults. A resumed request carries its Range and If-Range as the
// request's additional headers.
#include "helper/PackageRequest.h"

#include "helper/ContentLength.h"
#include "helper/ManagedResources.h"
#include "helper/ProxyRoute.h"
#include "helper/Retry.h"
#include "helper/windows/ManagedHttpHandle.h"
#include "log/LogSite.h"
#include "platform/Progress.h"
#include "platform/Text.h"
#include "platform/windows/MessagePump.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <cstdint>
#include <cstring>
#include <memory>
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

// --- The road -----------------------------------------------------------------------------------------------

// One automatic step of the road, run on a thread of its own: WinHttpGetProxyForUrl has no time limit of its
// own that holds for detection, and a script's server may accept the connection and then say nothing. The
// step and the waiting caller share this; whichever is done last frees it. The step's session is its own, so
// a step given up on touches nothing of the download's.
struct ProxyStep {
  std::u16string url;
  std::u16string scriptUrl;  // empty: automatic detection
  ProxyAnswer answer;
};

void runProxyStep(ProxyStep& step) {
  HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (session == nullptr) {
    step.answer.error = GetLastError();
    return;
  }
  WINHTTP_AUTOPROXY_OPTIONS options;
  std::memset(&options, 0, sizeof(options));
  if (step.scriptUrl.empty()) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = asWide(step.scriptUrl.c_str());
  }
  options.fAutoLogonIfChallenged = TRUE;  // a script behind Windows sign-in gets the user's own
  WINHTTP_PROXY_INFO info;
  std::memset(&info, 0, sizeof(info));
  if (WinHttpGetProxyForUrl(session, asWide(step.url.c_str()), &options, &info)) {
    const ManagedGlobalText proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
    step.answer.found = true;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && proxy.get() != nullptr) {
      step.answer.list = fromWide(proxy.get());
    }
  } else {
    step.answer.error = GetLastError();
  }
  WinHttpCloseHandle(session);
}

// The step, waited for within its time limit while the progress window stays answering; a cancel gives it up
// as the limit does, and the download then ends as cancelled.
ProxyAnswer runBounded(const char16_t* url, const std::u16string& scriptUrl, std::chrono::seconds timeLimit) {
  const auto step = std::make_shared<ProxyStep>();
  step->url = url;
  step->scriptUrl = scriptUrl;
  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(timeLimit).count();
  const DWORD waited =
      runDispatchingMessages<ProxyStep, runProxyStep>(step, static_cast<DWORD>(milliseconds), cancelRequested);
  if (waited == WAIT_OBJECT_0) return step->answer;
  ProxyAnswer givenUp;
  givenUp.error = waited == WAIT_TIMEOUT    ? ERROR_WINHTTP_TIMEOUT
                  : waited == kWaitStopped ? ERROR_CANCELLED
                                           : GetLastError();
  return givenUp;
}

// The road of the last download, kept for its later tries: the settings are read for every try, and the
// automatic steps run again only when they changed (each step may take seconds, and its lines are said once).
struct KeptRoad {
  std::u16string key;
  ProxyRoad road;
};
KeptRoad keptRoad;

const ProxyRoad& roadFor(const char16_t* url, const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& config) {
  ProxySettings settings;
  settings.autoDetect = config.fAutoDetect != FALSE;
  if (config.lpszAutoConfigUrl != nullptr) settings.scriptUrl = fromWide(config.lpszAutoConfigUrl);
  if (config.lpszProxy != nullptr) settings.manualProxy = fromWide(config.lpszProxy);
  const std::u16string bypass = config.lpszProxyBypass != nullptr ? fromWide(config.lpszProxyBypass) : u"";
  std::u16string key = std::u16string(url) + u'\n' + (settings.autoDetect ? u"1" : u"0") + u'\n' +
                       settings.scriptUrl + u'\n' + settings.manualProxy + u'\n' + bypass;
  if (keptRoad.key == key) return keptRoad.road;

  keptRoad.road = chooseProxyRoad(settings, [&](ProxySource source) {
    return source == ProxySource::AutoDetect ? runBounded(url, u"", kProxyDetectionTimeLimit)
                                             : runBounded(url, settings.scriptUrl, kProxyScriptTimeLimit);
  });
  keptRoad.key = std::move(key);
  for (const ProxyNote& note : keptRoad.road.notes) WriteLog(*note.site, note.text.c_str());
  return keptRoad.road;
}

// TLS 1.2, and 1.3 where Windows has it: Windows 7 and 8.1 offer neither by default. Where both are refused
// the platform's defaults stay.
void askForCurrentTls(HINTERNET session) {
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return;
  protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
}

std::u16string schemeNames(DWORD schemes) {
  static constexpr struct {
    DWORD scheme;
    const char16_t* name;
  } kNames[] = {{WINHTTP_AUTH_SCHEME_NEGOTIATE, u"Negotiate"}, {WINHTTP_AUTH_SCHEME_NTLM, u"NTLM"},
                {WINHTTP_AUTH_SCHEME_BASIC, u"Basic"},         {WINHTTP_AUTH_SCHEME_DIGEST, u"Digest"},
                {WINHTTP_AUTH_SCHEME_PASSPORT, u"Passport"}};
  std::u16string names;
  for (const auto& known : kNames) {
    if ((schemes & known.scheme) != 0) names += (names.empty() ? u"" : u", ") + std::u16string(known.name);
  }
  return names.empty() ? u"none" : names;
}

// After a 407: the logged-on user's own credentials for a proxy that takes Negotiate or NTLM, said in the log;
// false (and why, in the log) when the request cannot be answered so.
bool answerProxySignIn(HINTERNET request, bool answeredBefore) {
  DWORD supported = 0, first = 0, target = 0;
  if (!WinHttpQueryAuthSchemes(request, &supported, &first, &target)) supported = 0;
  if (answeredBefore) {
    WriteLog(logsite::DownloadProxyAuthRefused, formatText(u"Proxy Authentication Refused(%s)", {schemeNames(supported)}).c_str());
    return false;
  }
  const DWORD scheme = (supported & WINHTTP_AUTH_SCHEME_NEGOTIATE) != 0 ? WINHTTP_AUTH_SCHEME_NEGOTIATE
                       : (supported & WINHTTP_AUTH_SCHEME_NTLM) != 0    ? WINHTTP_AUTH_SCHEME_NTLM
                                                                         : 0;
  // Null user and password: the logged-on user's credentials, never asked for and never stored.
  if (scheme == 0 || target != WINHTTP_AUTH_TARGET_PROXY ||
      !WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr, nullptr)) {
    WriteLog(logsite::DownloadProxyAuthRefused, formatText(u"Proxy Authentication Unanswerable(%s)", {schemeNames(supported)}).c_str());
    return false;
  }
  WriteLog(logsite::DownloadProxyAuthAnswered, formatText(u"Proxy Authentication(%s)", {schemeNames(scheme)}).c_str());
  return true;
}

// Sends the request and waits for its final answer's status, answering one proxy sign-in on the way.
// Returns the failed call's name, or null.
const char16_t* sendForStatus(HINTERNET request, const std::u16string& headers, DWORD& status) {
  bool answered = false;
  for (;;) {
    if (!WinHttpSendRequest(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : asWide(headers.c_str()),
                            headers.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      return u"WinHttpSendRequest";
    }
    if (!WinHttpReceiveResponse(request, nullptr)) return u"WinHttpReceiveResponse";
    DWORD statusSize = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
      return u"WinHttpQueryHeaders";
    }
    if (status != HTTP_STATUS_PROXY_AUTH_REQ || !answerProxySignIn(request, answered)) return nullptr;
    answered = true;
  }
}

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

  ManagedMemory<wchar_t> hostName(new (std::nothrow) wchar_t[kUrlPartCapacity]);
  ManagedMemory<wchar_t> urlPath(new (std::nothrow) wchar_t[kUrlPartCapacity]);
  if (hostName.get() == nullptr || urlPath.get() == nullptr) return failed(u"new", ERROR_NOT_ENOUGH_MEMORY);
  const std::u16string headers = resumeHeaders(resume);

  // An automatic road's entries are tried in order, each as long as the connection to the one before failed;
  // every other road is one session with the manual proxy and its bypass list, or WinHTTP's default. Each
  // entry has a session of its own: the proxy is the session's (Wine takes it from there only).
  const ProxyRoad& road = roadFor(url, proxy);
  const bool automatic = road.source == ProxySource::AutoDetect || road.source == ProxySource::Script;
  const std::size_t entries = automatic ? road.entries.size() : 1;
  HINTERNET session = nullptr, connection = nullptr, request = nullptr;
  ManagedHttpHandle handles(&session, &connection, &request);
  DWORD status = 0;
  for (std::size_t entry = 0;; ++entry) {
    if (automatic) {
      const std::u16string& named = road.entries[entry];
      session = named.empty() ? WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                            WINHTTP_NO_PROXY_BYPASS, 0)
                              : WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, asWide(named.c_str()),
                                            WINHTTP_NO_PROXY_BYPASS, 0);
    } else if (proxyList.get() != nullptr) {
      session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyList.get(), proxyBypass.get(), 0);
    } else {
      session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (session == nullptr) return failed(u"WinHttpOpen");
    askForCurrentTls(session);

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
    DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;  // the user's sign-in for the proxy as well
    WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &policy, sizeof(policy));

    const char16_t* failedCall = sendForStatus(request, headers, status);
    if (failedCall == nullptr) break;
    const DWORD code = GetLastError();
    const std::u16string failure = formatText(u"%s Error(%u)", {failedCall, static_cast<unsigned long>(code)});
    if (entry + 1 >= entries || road.entries[entry].empty() || !proxyConnectionFailed(code)) {
      // A failure that is not tried again is said with the proxy it met (a proxy that refused the tunnel,
      // a 407 that WinHTTP reports as an error): the download's own line says only that it failed.
      if (road.source != ProxySource::Direct && !winHttpErrorMayPass(code)) {
        const std::u16string proxyName = automatic ? road.entries[entry] : fromWide(proxyList.get());
        WriteLog(logsite::DownloadProxyFailed, proxyFailedText(proxyName, failure).c_str());
      }
      return failed(failedCall, code);
    }
    WriteLog(logsite::DownloadProxyNext, proxyNextText(road.entries[entry], failure, road.entries[entry + 1]).c_str());
    for (HINTERNET* handle : {&request, &connection, &session}) {
      WinHttpCloseHandle(*handle);
      *handle = nullptr;
    }
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
