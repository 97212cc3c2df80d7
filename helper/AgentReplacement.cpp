// Replacing the installed agent: uninstall, wait, install the downloaded package, report.
#include "app/Messages.h"
#include "helper/Helper.h"
#include "log/WriteLog.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Text.h"

#include <chrono>
#include <thread>

using namespace quillon;

namespace {

constexpr char16_t kFunction[] = u"Helper::updateQuillon";

// The uninstaller must have let go of everything before the new package installs.
constexpr std::chrono::milliseconds kPauseAfterUninstall{5000};

void logCatalogueText(int line, const char16_t* level, unsigned id) {
  WriteLog(kHelperSource, kFunction, line, level, LoadMessageText(id));
}

// The catalogue text followed directly by the version, as in "...しました。(V5.1.0)".
void logVersionedText(int line, const char16_t* level, unsigned id, const AgentVersion& version) {
  const std::u16string text =
      formatText(u"%s(V%d.%d.%d)", {LoadMessageText(id), version.major, version.minor, version.build});
  WriteLog(kHelperSource, kFunction, line, level, text.c_str());
}

void showBox(unsigned id, unsigned flags) {
  const char16_t* caption = LoadToolCaption();
  showMessageBox(LoadMessageText(id), caption, flags);
}

}  // namespace

bool Helper::updateQuillon(ReplacementOutcome* outcome) {
  AgentVersion version;
  const bool versionRead = getAgentVersion(version);
  if (!versionRead) logCatalogueText(334, kLogError, IDS_VERSION_UNREADABLE);

  std::uint32_t uninstallCode = 0;
  if (!ExecUninstallMsiByProductCodeSync(uninstallCode)) {
    // The one outcome whose box follows its log line.
    if (versionRead) {
      logVersionedText(345, kLogError, IDS_UNINSTALL_FAILED, version);
    } else {
      logCatalogueText(349, kLogError, IDS_UNINSTALL_FAILED_LOG);
    }
    showBox(IDS_UNINSTALL_FAILED, kBoxOk | kBoxIconWarning);
    if (outcome != nullptr) *outcome = ReplacementOutcome::UninstallFailed;
    return false;
  }

  std::this_thread::sleep_for(kPauseAfterUninstall);
  if (versionRead) {
    logVersionedText(363, kLogInfo, IDS_AGENT_UNINSTALLED, version);
  } else {
    logCatalogueText(367, kLogInfo, IDS_AGENT_UNINSTALLED);
  }

  // The package is not looked for beforehand: a missing file shows as a failed install.
  const std::u16string packagePath = getAgentPackagePath();
  const AuthSettings& settings = getAuthSettings();
  std::uint32_t installCode = 0;
  if (!ExecMsiSync(packagePath.c_str(), settings.CompanyCode.c_str(), settings.CertCode.c_str(), installCode)) {
    showBox(IDS_INSTALL_FAILED, kBoxOk | kBoxIconWarning);
    logCatalogueText(376, kLogError, IDS_INSTALL_FAILED_LOG);
    if (outcome != nullptr) *outcome = ReplacementOutcome::InstallFailed;
    return false;
  }

  if (getAgentVersion(version)) {
    logVersionedText(392, kLogInfo, IDS_AGENT_INSTALLED, version);
  } else {
    logCatalogueText(385, kLogError, IDS_VERSION_UNREADABLE);
    logCatalogueText(396, kLogInfo, IDS_AGENT_INSTALLED);
  }
  // Auth.ini is looked for again: the closing line tells whether the codes went to the installer.
  if (existsAuthFile()) {
    logCatalogueText(401, kLogInfo, IDS_MIGRATION_COMPLETE_AUTHENTICATED);
  } else {
    logCatalogueText(405, kLogInfo, IDS_MIGRATION_COMPLETE);
  }
  showBox(IDS_MIGRATION_COMPLETE, kBoxOk);
  // Either run may have ended with "done, restart pending": the agent is replaced all the same, and only
  // the exit status tells the administrator that the PC still needs its restart.
  const bool restartRequired = isExitCode(uninstallCode, kInstallerRestartRequired) ||
                               isExitCode(installCode, kInstallerRestartRequired);
  if (outcome != nullptr) {
    *outcome = restartRequired ? ReplacementOutcome::ReplacedRestartRequired : ReplacementOutcome::Replaced;
  }
  return true;
}
