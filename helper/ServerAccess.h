// The inside of the server access operations: the lookup with its addresses as parameters (the tool passes
// its build constants; the tests and tools aim it at a local server), and the one platform request it makes.
#pragma once

#include "helper/Retry.h"

#include <chrono>
#include <string>

struct LogSite;

namespace quillon {

// The URL buffer of Helper::getDownloadUrl: 511 units and the terminator.
inline constexpr std::size_t kPackageUrlCapacity = 512;

// How long the lookup waits for the configuration script at most, from the request to the last byte: the
// package download's platform defaults, 60 s to connect and 30 s to receive, end to end. A server that
// accepts the request and then says nothing must not keep the tool, which shows no window meanwhile, for ever.
inline constexpr std::chrono::seconds kConfigScriptTimeLimit{90};

// Helper::getDownloadUrl with the addresses given: fetches `configScriptUrl` and writes `packageUrlPrefix`
// followed by the AGENT_MSI_URL path into `url` (kPackageUrlCapacity units). Logs its failures. The time
// limit is a parameter only so that the tests need not wait the tool's.
bool lookUpPackageUrl(const char16_t* configScriptUrl, const char16_t* packageUrlPrefix, char16_t* url,
                      std::chrono::seconds timeLimit = kConfigScriptTimeLimit);

// What the platform's request object made of one GET of the configuration script.
struct ScriptResponse {
  // False when no whole response came back (the request object could not be made, the server could not be
  // reached, TLS failed, the connection broke...); `failure` then says which call failed and with which
  // platform code, for the log, and `mayPass` whether that may pass (no connection, a cut, a time-out).
  bool received = false;
  std::u16string failure;
  bool mayPass = false;
  long status = 0;
  // The body as text, NULs included; fetched only for a status from 200 to 299.
  std::u16string text;
  // The Retry-After header of a response outside 2xx, empty when it has none.
  std::u16string retryAfter;
};

// What one response means to the lookup: a status from 200 to 299 is done; any other status is the
// server's answer ("ResponseCode =N", line 455 when it is the last), tried again when it may pass; a response
// that is no answer (no whole response, or status 0, which no server sends) is the failed call and its code
// (line 448 when it is the last), tried again when that may pass, and status 0 always may.
struct ScriptTry {
  TryOutcome outcome;
  const LogSite* lastLine = nullptr;  // where the lookup logs it when no further try follows; null when done
};
ScriptTry judgeScriptResponse(const ScriptResponse& response);

// One GET without headers, body or credentials that ends within `timeLimit`; a request that has not ended by
// then is a failure that says it timed out. Windows: MSXML 6's XMLHTTP60 over COM (the calling thread must
// have initialised COM). Linux: libcurl with the same rules as the package download.
ScriptResponse requestConfigScript(const char16_t* url, std::chrono::seconds timeLimit);

}  // namespace quillon
