// The road's choice: helper/ProxyRoute.h.
#include "helper/ProxyRoute.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace quillon {

namespace {

constexpr unsigned long kAutoDetectionFailed = 12180;  // ERROR_WINHTTP_AUTODETECTION_FAILED: no WPAD found

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool sameLetters(std::u16string_view text, std::u16string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i] >= u'a' && text[i] <= u'z' ? static_cast<char16_t>(text[i] - u'a' + u'A') : text[i];
    if (c != upper[i]) return false;
  }
  return true;
}

std::vector<std::u16string_view> words(std::u16string_view text) {
  std::vector<std::u16string_view> found;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && isBlank(text[at])) ++at;
    std::size_t end = at;
    while (end < text.size() && !isBlank(text[end])) ++end;
    if (end > at) found.push_back(text.substr(at, end - at));
    at = end;
  }
  return found;
}

// One entry in the platform's form: "host:port", "http=host:port", "https://host:port"; nothing for another
// scheme's entry.
std::optional<std::u16string> platformEntry(std::u16string_view word) {
  if (sameLetters(word, u"DIRECT")) return std::u16string();
  const std::size_t equals = word.find(u'=');
  if (equals != std::u16string_view::npos) {
    const std::u16string_view scheme = word.substr(0, equals);
    if (!sameLetters(scheme, u"HTTP") && !sameLetters(scheme, u"HTTPS")) return std::nullopt;
    word.remove_prefix(equals + 1);
  }
  const std::size_t separator = word.find(u"://");
  if (separator != std::u16string_view::npos) {
    const std::u16string_view scheme = word.substr(0, separator);
    if (!sameLetters(scheme, u"HTTP") && !sameLetters(scheme, u"HTTPS")) return std::nullopt;
    word.remove_prefix(separator + 3);
  }
  while (!word.empty() && word.back() == u'/') word.remove_suffix(1);
  if (word.empty()) return std::nullopt;
  return std::u16string(word);
}

std::u16string sourceName(ProxySource source) {
  switch (source) {
    case ProxySource::AutoDetect:
      return u"Auto-Detect";
    case ProxySource::Script:
      return u"PAC";
    case ProxySource::Manual:
      return u"Manual";
    case ProxySource::Direct:
      break;
  }
  return u"Direct";
}

std::u16string entryName(std::u16string_view entry) { return entry.empty() ? u"DIRECT" : std::u16string(entry); }

std::u16string code(unsigned long value) { return fromUtf8(std::to_string(value)); }

}  // namespace

std::vector<std::u16string> parseProxyList(std::u16string_view list) {
  std::vector<std::u16string> entries;
  std::size_t at = 0;
  while (at <= list.size()) {
    std::size_t end = list.find(u';', at);
    if (end == std::u16string_view::npos) end = list.size();
    const std::vector<std::u16string_view> parts = words(list.substr(at, end - at));
    at = end + 1;
    if (parts.empty()) continue;
    const std::u16string_view keyword = parts[0];
    if (sameLetters(keyword, u"PROXY") || sameLetters(keyword, u"HTTP") || sameLetters(keyword, u"HTTPS")) {
      if (parts.size() > 1) entries.emplace_back(parts[1]);  // a script's "PROXY host:port"
      continue;
    }
    if (sameLetters(keyword, u"SOCKS") || sameLetters(keyword, u"SOCKS4") || sameLetters(keyword, u"SOCKS5")) continue;
    for (const std::u16string_view word : parts) {
      if (std::optional<std::u16string> entry = platformEntry(word)) entries.push_back(std::move(*entry));
    }
  }
  // Nothing after a direct entry can be needed: the direct connection is the last resort.
  const auto direct = std::find(entries.begin(), entries.end(), std::u16string());
  if (direct != entries.end()) entries.erase(direct + 1, entries.end());
  return entries;
}

ProxyRoad chooseProxyRoad(const ProxySettings& settings, const std::function<ProxyAnswer(ProxySource)>& resolve) {
  ProxyRoad road;
  std::vector<ProxyNote> quietFailures;  // detection that found nothing: said only if another road follows
  const auto tryStep = [&](ProxySource source, const LogSite& failureSite, const char16_t* failureText) {
    const ProxyAnswer answer = resolve(source);
    if (!answer.found && answer.error == kProxyStepCancelled) {
      road.cancelled = true;
      return false;
    }
    if (!answer.found && answer.error == kProxyStepTimedOut) road.keep = false;
    if (answer.found) {
      road.source = source;
      road.entries = parseProxyList(answer.list);
      if (road.entries.empty()) road.entries.push_back(u"");  // no proxy for this URL: direct
      return true;
    }
    ProxyNote note{&failureSite, formatText(failureText, {code(answer.error)})};
    (source == ProxySource::AutoDetect && answer.error == kAutoDetectionFailed ? quietFailures : road.notes)
        .push_back(std::move(note));
    return false;
  };

  bool chosen = settings.autoDetect &&
                tryStep(ProxySource::AutoDetect, logsite::DownloadProxyDetectFailed, u"Proxy Auto-Detect Error(%s)");
  if (!chosen && !road.cancelled && !settings.scriptUrl.empty()) {
    chosen = tryStep(ProxySource::Script, logsite::DownloadProxyScriptFailed, u"Proxy Script Error(%s)");
  }
  if (road.cancelled) {
    road.source = ProxySource::Direct;
    road.entries.clear();
    road.keep = false;
    return road;  // the lines of the steps before the cancel stay: they happened
  }
  if (!chosen && !settings.manualProxy.empty()) {
    road.source = ProxySource::Manual;
    chosen = true;
  }
  if (!chosen) return road;  // direct: the session's own setting

  road.notes.insert(road.notes.begin(), quietFailures.begin(), quietFailures.end());
  std::u16string shown;
  if (road.source == ProxySource::Manual) {
    shown = settings.manualProxy;
  } else {
    for (const std::u16string& entry : road.entries) shown += (shown.empty() ? u"" : u"; ") + entryName(entry);
  }
  road.notes.push_back({&logsite::DownloadProxyRoad, formatText(u"Proxy(%s: %s)", {sourceName(road.source), shown})});
  return road;
}

bool proxyConnectionFailed(unsigned long winHttpCode) {
  // ERROR_WINHTTP_TIMEOUT, _NAME_NOT_RESOLVED, _CANNOT_CONNECT and _CONNECTION_ERROR (dropped before any
  // answer), and WSAETIMEDOUT, which Wine's WinHTTP reports for a proxy that never answers the tunnel's
  // request. A TLS or certificate error is the server's, not the proxy's, and stays the try's outcome.
  constexpr unsigned long kCodes[] = {12002, 12007, 12029, 12030, 10060};
  return std::find(std::begin(kCodes), std::end(kCodes), winHttpCode) != std::end(kCodes);
}

std::u16string proxyNextText(std::u16string_view entry, std::u16string_view failure, std::u16string_view next) {
  return formatText(u"Proxy Connection Failed(%s %s) Next(%s)",
                    {entryName(entry), std::u16string(failure), entryName(next)});
}

std::u16string proxyFailedText(std::u16string_view entry, std::u16string_view failure) {
  return formatText(u"Proxy Failed(%s %s)", {entryName(entry), std::u16string(failure)});
}

}  // namespace quillon
