// Where the tool's files are, and reading Auth.ini.
#include "helper/AuthFile.h"
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/ProfileString.h"

#include <boost/filesystem/operations.hpp>

using namespace quillon;
namespace fs = boost::filesystem;

namespace {

constexpr std::size_t kSettingCapacity = 260;  // a value is taken up to 259 characters

}  // namespace

fs::path Helper::getToolDirectory() { return toPath(executablePath()).parent_path(); }

std::u16string Helper::getAgentPackagePath() {
  const fs::path directory = temporaryDirectory();
  if (directory.empty()) return {};  // no usable temporary folder: the download then fails with its own message
  return pathText(directory / toPath(kAgentPackageFileName));
}

bool Helper::existsAuthFile() {
  // The non-throwing status: a folder we may not look into counts as no settings file, not as a crash.
  boost::system::error_code error;
  return fs::exists(fs::status(getToolDirectory() / toPath(kAuthFileName), error));
}

bool quillon::readAuthSettingsFile(const fs::path& file, std::u16string& companyName, std::u16string& companyCode,
                                   std::u16string& certCode, const char16_t** failedKey) {
  const struct {
    const char16_t* key;
    std::u16string& value;
  } settings[] = {{u"CompanyName", companyName}, {u"CompanyCode", companyCode}, {u"CertCode", certCode}};

  for (const auto& setting : settings) {
    char16_t buffer[kSettingCapacity];
    if (readProfileString(u"CERT", setting.key, buffer, kSettingCapacity, file) == 0) {
      if (failedKey != nullptr) *failedKey = setting.key;
      return false;
    }
    setting.value = buffer;
  }
  return true;
}

bool Helper::readAuthSettings(std::u16string& companyName, std::u16string& companyCode, std::u16string& certCode) {
  return readAuthSettingsFile(getToolDirectory() / toPath(kAuthFileName), companyName, companyCode, certCode);
}

AuthSettings& Helper::getAuthSettings() {
  static AuthSettings settings;
  return settings;
}
