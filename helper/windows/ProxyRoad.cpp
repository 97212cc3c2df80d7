// Windows body of the package's road: helper/windows/ProxyRoad.h.
#include "helper/windows/ProxyRoad.h"

#include "helper/Retry.h"
#include "log/LogSite.h"
#include "platform/Progress.h"
#include "platform/Text.h"
#include "platform/windows/MessagePump.h"

#include <cstring>
#include <memory>

namespace quillon {

namespace {

std::u16string text(LPCWSTR value) { return value != nullptr ? fromWide(value) : u""; }

// One automatic step of the road, run on a thread of its own: WinHttpGetProxyForUrl has no time limit of its
// own that holds for detection, and a script's server may accept the connection and then say nothing. The
// step and the waiting caller share this; whichever is done last frees it. The step's session is its own, so
// a step given up on touches nothing of the download's.
struct ProxyStep {
  std::u16string url;
  std::u16string scriptUrl;  // empty: automatic detection
  ProxyAnswer answer;
};

void freeGlobalText(LPWSTR value) { GlobalFree(value); }
using ManagedGlobalText = ManagedResource<LPWSTR, freeGlobalText>;

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

ProxyAnswer stepError(unsigned long code) {
  ProxyAnswer answer;
  answer.error = code;
  return answer;
}

// The step, waited for within its time limit while the progress window stays answering. A cancel, before
// the step or during it, gives it up and says so (the choice then stops); the limit gives it up as a
// time-out.
ProxyAnswer runBounded(const char16_t* url, const std::u16string& scriptUrl, std::chrono::seconds timeLimit) {
  if (cancelRequested()) return stepError(kProxyStepCancelled);
  const auto step = std::make_shared<ProxyStep>();
  step->url = url;
  step->scriptUrl = scriptUrl;
  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(timeLimit).count();
  const DWORD waited =
      runDispatchingMessages<ProxyStep, runProxyStep>(step, static_cast<DWORD>(milliseconds), cancelRequested);
  if (waited == WAIT_OBJECT_0) return step->answer;
  return stepError(waited == WAIT_TIMEOUT ? kProxyStepTimedOut : waited == kWaitStopped ? kProxyStepCancelled
                                                                                        : GetLastError());
}

// The road of the last download that may be taken again, for its later tries: the settings are read for
// every try, and the automatic steps run again only when they changed (each step may take seconds, and its
// lines are said once) or when the road was not chosen cleanly.
struct KeptRoad {
  std::u16string key;
  ProxyRoad road;
};
KeptRoad keptRoad;

bool isAutomatic(const ProxyRoad& road) {
  return road.source == ProxySource::AutoDetect || road.source == ProxySource::Script;
}

}  // namespace

UserProxySettings::UserProxySettings() {
  std::memset(&config_, 0, sizeof(config_));
  read_ = WinHttpGetIEProxyConfigForCurrentUser(&config_) != FALSE;
  error_ = read_ ? 0 : GetLastError();
}

UserProxySettings::~UserProxySettings() {
  for (LPWSTR value : {config_.lpszAutoConfigUrl, config_.lpszProxy, config_.lpszProxyBypass}) {
    if (value != nullptr) GlobalFree(value);
  }
}

const ProxyRoad& roadFor(const char16_t* url, const UserProxySettings& user) {
  const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& config = user.config();
  ProxySettings settings;
  settings.autoDetect = config.fAutoDetect != FALSE;
  settings.scriptUrl = text(config.lpszAutoConfigUrl);
  settings.manualProxy = text(config.lpszProxy);
  std::u16string key = std::u16string(url) + u'\n' + (settings.autoDetect ? u"1" : u"0") + u'\n' +
                       settings.scriptUrl + u'\n' + settings.manualProxy + u'\n' + text(config.lpszProxyBypass);
  if (keptRoad.key == key) return keptRoad.road;

  keptRoad.road = chooseProxyRoad(settings, [&](ProxySource source) {
    return source == ProxySource::AutoDetect ? runBounded(url, u"", kProxyDetectionTimeLimit)
                                             : runBounded(url, settings.scriptUrl, kProxyScriptTimeLimit);
  });
  // A road from a time-out or a cancel is used by this try only: the next one asks again.
  keptRoad.key = keptRoad.road.keep ? std::move(key) : std::u16string();
  for (const ProxyNote& note : keptRoad.road.notes) WriteLog(*note.site, note.text.c_str());
  return keptRoad.road;
}

std::size_t sessionCount(const ProxyRoad& road) { return isAutomatic(road) ? road.entries.size() : 1; }

SessionRoad sessionRoad(const ProxyRoad& road, std::size_t session, const UserProxySettings& user) {
  SessionRoad chosen;
  if (isAutomatic(road)) {
    const std::u16string& entry = road.entries[session];
    chosen.accessType = entry.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    chosen.proxy = entry;
  } else if (user.config().lpszProxy != nullptr) {
    chosen.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    chosen.proxy = text(user.config().lpszProxy);
    chosen.bypass = text(user.config().lpszProxyBypass);
  }
  return chosen;
}

bool tryNextSession(const ProxyRoad& road, std::size_t session, unsigned long code) {
  return session + 1 < sessionCount(road) && !road.entries[session].empty() && proxyConnectionFailed(code);
}

void logSessionFailure(const ProxyRoad& road, std::size_t session, const UserProxySettings& user,
                       unsigned long code, const std::u16string& failure, bool next) {
  if (next) {
    WriteLog(logsite::DownloadProxyNext,
             proxyNextText(road.entries[session], failure, road.entries[session + 1]).c_str());
    return;
  }
  if (road.source == ProxySource::Direct || winHttpErrorMayPass(code)) return;
  const std::u16string proxy = isAutomatic(road) ? road.entries[session] : text(user.config().lpszProxy);
  WriteLog(logsite::DownloadProxyFailed, proxyFailedText(proxy, failure).c_str());
}

namespace {

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

}  // namespace

bool answerProxySignIn(HINTERNET request, bool answeredBefore, ProxyNote& note) {
  DWORD supported = 0, first = 0, target = 0;
  if (!WinHttpQueryAuthSchemes(request, &supported, &first, &target)) supported = 0;
  if (answeredBefore) {
    note = {&logsite::DownloadProxyAuthRefused, formatText(u"Proxy Authentication Refused(%s)", {schemeNames(supported)})};
    return false;
  }
  const DWORD scheme = (supported & WINHTTP_AUTH_SCHEME_NEGOTIATE) != 0 ? WINHTTP_AUTH_SCHEME_NEGOTIATE
                       : (supported & WINHTTP_AUTH_SCHEME_NTLM) != 0    ? WINHTTP_AUTH_SCHEME_NTLM
                                                                         : 0;
  // Null user and password: the logged-on user's credentials, for the proxy only, never asked for and never
  // stored. The request's automatic sign-in keeps the platform's policy (the intranet only), so the origin
  // and the hosts a redirect leads to get the user's sign-in only where the administrator's own Internet
  // settings would give it.
  if (scheme == 0 || target != WINHTTP_AUTH_TARGET_PROXY ||
      !WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr, nullptr)) {
    note = {&logsite::DownloadProxyAuthRefused,
            formatText(u"Proxy Authentication Unanswerable(%s)", {schemeNames(supported)})};
    return false;
  }
  note = {&logsite::DownloadProxyAuthAnswered, formatText(u"Proxy Authentication(%s)", {schemeNames(scheme)})};
  return true;
}

}  // namespace quillon
