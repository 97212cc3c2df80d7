// Finding the package's URL on the destination server: fetch the configuration script, pick out its
// AGENT_MSI_URL path and put the server's address in front of it.
#include "app/Messages.h"
#include "helper/AgentMsiUrl.h"
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/ServerAccess.h"
#include "log/LogSite.h"
#include "platform/Text.h"

namespace quillon {

bool lookUpPackageUrl(const char16_t* configScriptUrl, const char16_t* packageUrlPrefix, char16_t* url,
                      std::chrono::seconds timeLimit) {
  const ScriptResponse response = requestConfigScript(configScriptUrl, timeLimit);
  if (!response.received) {
    WriteLog(logsite::ConfigScriptNoResponse, response.failure.c_str());
    return false;
  }
  if (response.status / 100 != 2) {
    WriteLog(logsite::ConfigScriptStatus, formatText(u"ResponseCode =%d", {response.status}).c_str());
    return false;
  }

  // The script ends at its first NUL, as a C string made of the response text would.
  std::u16string_view script = response.text;
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
