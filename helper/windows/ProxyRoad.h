// Windows only: the package's road as the user's Internet settings name it (the rule is helper/ProxyRoute.h).
// The settings are read for every try; the automatic steps (WPAD, the script) run on a thread of their own
// within their time limits while the window keeps answering; each entry of an automatic road gets a session of
// its own (Wine takes the proxy from the session only); a proxy asking for Windows sign-in gets the user's.
#pragma once

#include "helper/ProxyRoute.h"
#include "platform/windows/WindowsSupport.h"

#include <winhttp.h>

#include <cstddef>
#include <string>

namespace quillon {

// The current user's Internet settings as WinHTTP reads them, its texts freed with the holder.
class UserProxySettings {
 public:
  UserProxySettings();
  ~UserProxySettings();
  UserProxySettings(const UserProxySettings&) = delete;
  UserProxySettings& operator=(const UserProxySettings&) = delete;

  // False when they could not be read; error() then says why.
  bool isRead() const { return read_; }
  DWORD error() const { return error_; }
  const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& config() const { return config_; }

 private:
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config_;
  bool read_ = false;
  DWORD error_ = 0;
};

// The road for `url`: the road of an earlier try when the settings are the same and it was chosen cleanly,
// else chosen now (its lines logged). A cancel during a step gives a road that is `cancelled`.
const ProxyRoad& roadFor(const char16_t* url, const UserProxySettings& settings);

// How many sessions the road may take in turn: each entry of an automatic road, else one.
std::size_t sessionCount(const ProxyRoad& road);

// What the session for one of them is opened with (WinHttpOpen's access type, proxy and bypass list; an
// empty text for none).
struct SessionRoad {
  DWORD accessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
  std::u16string proxy;
  std::u16string bypass;
};
SessionRoad sessionRoad(const ProxyRoad& road, std::size_t session, const UserProxySettings& settings);

// Whether a session that failed with `code` before any answer leaves the next one to try.
bool tryNextSession(const ProxyRoad& road, std::size_t session, unsigned long code);

// The lines of a failed session: the move to the next one, or the failure for good when it is the proxy's to
// say (a refused tunnel, a sign-in WinHTTP reports as an error); nothing for a direct road or a failure that
// may pass, which the download's own lines say.
void logSessionFailure(const ProxyRoad& road, std::size_t session, const UserProxySettings& settings,
                       unsigned long code, const std::u16string& failure, bool next);

// After a 407, on the request's own thread: the logged-on user's own credentials for a proxy that takes
// Negotiate or NTLM. False when the request cannot be answered so. `note` receives the line to log.
bool answerProxySignIn(HINTERNET request, bool answeredBefore, ProxyNote& note);

}  // namespace quillon
