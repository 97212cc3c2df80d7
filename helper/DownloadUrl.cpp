// Finding the package's URL on the destination server: fetch the configuration script, pick out its
// AGENT_MSI_URL path and put the server's address in front of it.
#include "helper/AgentMsiUrl.h"
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/Retry.h"
#include "helper/RetryAfter.h"
#include "helper/ServerAccess.h"
#include "log/LogSite.h"
#include "platform/Progress.h"
#include "platform/Text.h"
#include "res/Messages.h"

namespace quillon {

namespace {

// Fetches the script, trying again within the lookup's bound while the failure may pass. Past the bound, or
// for a failure that does not pass, the last failure is logged as a lookup without retries logs it.
std::optional<ScriptResponse> fetchConfigScript(const char16_t* configScriptUrl, std::chrono::seconds timeLimit) {
  RetrySchedule schedule(retryPolicy(kLookupRetry), processRandom());
  for (;;) {
    showProgressStep(ProgressStep::Connecting);
    ScriptResponse response = requestConfigScript(configScriptUrl, timeLimit);
    if (response.received && response.status / 100 == 2) return response;
    if (cancelRequested()) return std::nullopt;  // a request the user stopped failed nothing: the flow logs it

    const std::u16string reason =
        response.received ? formatText(u"ResponseCode =%d", {response.status}) : response.failure;
    std::optional<std::chrono::milliseconds> pause;
    if (response.received ? statusMayPass(response.status) : response.mayPass) {
      pause = schedule.nextPause(parseRetryAfter(response.retryAfter, std::chrono::system_clock::now()));
    }
    if (!pause) {
      WriteLog(response.received ? logsite::ConfigScriptStatus : logsite::ConfigScriptNoResponse, reason.c_str());
      return std::nullopt;
    }
    WriteLog(logsite::ConfigScriptRetry, retryLogText(reason, *pause).c_str());
    if (!waitBeforeRetry(*pause)) return std::nullopt;  // the user stopped the run
  }
}

}  // namespace

bool lookUpPackageUrl(const char16_t* configScriptUrl, const char16_t* packageUrlPrefix, char16_t* url,
                      std::chrono::seconds timeLimit) {
  const std::optional<ScriptResponse> response = fetchConfigScript(configScriptUrl, timeLimit);
  if (!response) return false;

  // The script ends at its first NUL, as a C string made of the response text would.
  std::u16string_view script = response->text;
  script = script.substr(0, script.find(u'\0'));
  const auto path = findAgentMsiPath(script);
  if (!path) {
    WriteLog(logsite::ConfigScriptKeyMissing, LoadMessageText(IDS_MSI_URL_KEY_MISSING));
    return false;
  }

  // The path is taken as it stands: no "/" is put between, nothing is escaped.
  const std::u16string_view prefix = packageUrlPrefix;
  const std::size_t length = prefix.size() + path->size();
  if (length >= kPackageUrlCapacity) {
    WriteLog(logsite::PackageUrlTooLong,
             formatText(u"URL Length Error(%u)", {static_cast<unsigned long>(length)}).c_str());
    return false;
  }
  prefix.copy(url, prefix.size());
  path->copy(url + prefix.size(), path->size());
  url[length] = u'\0';
  return true;
}

}  // namespace quillon

bool Helper::getDownloadUrl(char16_t* url) {
  return quillon::lookUpPackageUrl(kConfigScriptUrl, ServerBaseUrl, url, quillon::kConfigScriptTimeLimit);
}
