// Which road the package takes to its server, decided from the user's Internet settings in the order the
// browsers use: automatic detection (WPAD), then the configuration script (PAC), then the manual proxy with
// its bypass list, then direct. The decisions are here, the same for every platform that has such settings;
// the platform's body asks its own resolver and makes the connections (helper/windows/PackageRequest.cpp).
//
// A PC on a company network often reaches the internet only through a proxy that a PAC file or WPAD names,
// while the lookup of the package URL (through the platform's XMLHTTP object) follows those settings in full.
// A package that took only the manual proxy would be found and then never arrive.
#pragma once

#include "log/LogSite.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// How long each automatic step may take at most before the next one is tried: detection on a network
// without WPAD ends by itself within about a second (measured under Wine: see docs/ADMINISTRATORS.md), and
// fetching and running a script on a working network takes well under a second. A step that has not ended
// then counts as failed with the platform's time-out code.
inline constexpr std::chrono::seconds kProxyDetectionTimeLimit{5};
inline constexpr std::chrono::seconds kProxyScriptTimeLimit{10};

// A proxy list's entries in order: "host:port" for a proxy, an empty text for the direct connection. Takes
// the platform's form ("a:8080;b:8080", entries separated by semicolons or blanks, "http=a:8080" or
// "http://a:8080" for one scheme's) and a configuration script's own ("PROXY a:8080; PROXY b:8080; DIRECT").
// Entries for other schemes (ftp=, socks=, SOCKS) are left out: the package travels by http or https.
std::vector<std::u16string> parseProxyList(std::u16string_view list);

// The user's settings as the platform reads them.
struct ProxySettings {
  bool autoDetect = false;
  std::u16string scriptUrl;    // empty: none
  std::u16string manualProxy;  // empty: none (the bypass list goes with it to the platform's session)
};

enum class ProxySource { AutoDetect, Script, Manual, Direct };

// The platform codes of a step that the user cancelled (ERROR_CANCELLED) and of one that ran out of time
// (ERROR_WINHTTP_TIMEOUT).
inline constexpr unsigned long kProxyStepCancelled = 1223;
inline constexpr unsigned long kProxyStepTimedOut = 12002;

// What an automatic step gave: the proxy list for the URL (empty: go direct), or the platform's error code.
struct ProxyAnswer {
  bool found = false;
  unsigned long error = 0;
  std::u16string list;
};

// A line the road's choice writes to the run log.
struct ProxyNote {
  const LogSite* site;
  std::u16string text;
};

// The road chosen: where it came from, and for the automatic ones the entries to try in order ("" for
// direct). The manual proxy and direct are the platform session's own setting (proxy and bypass list).
struct ProxyRoad {
  ProxySource source = ProxySource::Direct;
  std::vector<std::u16string> entries;
  std::vector<ProxyNote> notes;  // the fall-backs and the road, in the order they happened
  // The user cancelled during a step: there is no road, and the download stops (it never falls back).
  bool cancelled = false;
  // Whether later tries may take this road without asking again. A road reached because a step ran out of
  // time is not: a network that was slow once would otherwise send every later try the fall-back's way.
  bool keep = true;
};

// The road for the package. `resolve` runs one automatic step (AutoDetect or Script) and is called only for
// the steps the settings name. A step that fails falls back to the next one and says why; the road is logged
// when it is not the plain direct one. That detection finds nothing (the usual case on a network without
// WPAD, where detection is on by default) is said only when a script or a manual proxy then takes over.
// A step that answers kProxyStepCancelled ends the choice at once, with no line for it: the road is
// `cancelled`. A step that answers kProxyStepTimedOut falls back as any failure does, and the road is not kept.
ProxyRoad chooseProxyRoad(const ProxySettings& settings, const std::function<ProxyAnswer(ProxySource)>& resolve);

// Platform codes of a connection that never reached the proxy (refused, no such host, a time-out, the
// connection dropped before an answer): the next entry of the road's list is tried.
bool proxyConnectionFailed(unsigned long winHttpCode);

// The log text that the road moves on after a failed connection to `entry`: "Proxy Connection Failed(a:8080
// WinHttpSendRequest Error(12029)) Next(b:8080)", "Next(DIRECT)" for the direct entry.
std::u16string proxyNextText(std::u16string_view entry, std::u16string_view failure, std::u16string_view next);

// The log text of a try that failed for good on a proxy: "Proxy Failed(a:8080 WinHttpSendRequest Error(12157))".
std::u16string proxyFailedText(std::u16string_view entry, std::u16string_view failure);

}  // namespace quillon
