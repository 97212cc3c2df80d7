// Finding the package's URL on the destination server: fetch the configuration script, pick out its
// AGENT_MSI_URL path and put the server's address in front of it.
#include "helper/AgentMsiUrl.h"
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/Retry.h"
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
  ScriptResponse response;
  ScriptTry last;
  const TriesEnd end = runTries(schedule, logsite::ConfigScriptRetry, [&] {
    showProgressStep(ProgressStep::Connecting);
    response = requestConfigScript(configScriptUrl, timeLimit);
    last = judgeScriptResponse(response);
    return last.outcome;
  });
  if (end == TriesEnd::Done) return response;
  // A request the user stopped failed nothing: the flow logs the cancel.
  if (end != TriesEnd::Cancelled) WriteLog(*last.lastLine, last.outcome.reason.c_str());
  return std::nullopt;
}

}  // namespace

ScriptTry judgeScriptResponse(const ScriptResponse& response) {
  ScriptTry judged;
  if (response.received && response.status != 0) {
    if (response.status / 100 == 2) {
      judged.outcome.end = TryOutcome::End::Done;
      return judged;
    }
    judged.outcome.end = statusMayPass(response.status) ? TryOutcome::End::MayPass : TryOutcome::End::Failed;
    judged.outcome.reason = formatText(u"ResponseCode =%d", {response.status});
    judged.outcome.retryAfter = response.retryAfter;
    judged.lastLine = &logsite::ConfigScriptStatus;
    return judged;
  }
  const bool noStatus = response.received;  // a "response" of status 0
  judged.outcome.end = noStatus || response.mayPass ? TryOutcome::End::MayPass : TryOutcome::End::Failed;
  judged.outcome.reason = noStatus ? std::u16string(kNoResponseReason) : response.failure;
  judged.lastLine = &logsite::ConfigScriptNoResponse;
  return judged;
}

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
