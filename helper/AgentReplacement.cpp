// Replacing the installed agent: uninstall, wait, install the downloaded package, report.
#include "helper/Helper.h"
#include "helper/InstallerLog.h"
#include "helper/ReplacementJournal.h"
#include "log/LogSite.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Progress.h"
#include "platform/TestHooks.h"
#include "platform/Text.h"
#include "res/Messages.h"

#include <chrono>

using namespace quillon;

namespace {

// The uninstaller must have let go of everything before the new package installs.
constexpr std::chrono::milliseconds kPauseAfterUninstall{5000};

void logCatalogueText(const LogSite& site, unsigned id) { WriteLog(site, LoadMessageText(id)); }

// The catalogue text followed directly by the version, as in "...しました。(V5.1.0)".
void logVersionedText(const LogSite& site, unsigned id, const AgentVersion& version) {
  const std::u16string text =
      formatText(u"%s(V%d.%d.%d)", {LoadMessageText(id), version.major, version.minor, version.build});
  WriteLog(site, text.c_str());
}

// The installer's own log of a failed run, when it wrote one: the administrator's way to the reason.
void logInstallerLogFile(const LogSite& site, const InstallerLog& log) {
  if (log.file.empty()) return;
  WriteLog(site, installerLogMessage(log.file, messageRoom(site)).c_str());
}

void showBox(unsigned id, unsigned flags) {
  const char16_t* caption = LoadToolCaption();
  showMessageBox(LoadMessageText(id), caption, flags);
}

}  // namespace

bool Helper::updateQuillon(ReplacementOutcome* outcome) {
  // From here on the PC changes: the progress no longer offers to cancel. (Its window closes before each box.)
  showProgressStep(ProgressStep::Uninstalling);
  AgentVersion version;
  const bool versionRead = getAgentVersion(version);
  if (!versionRead) logCatalogueText(logsite::ReplaceVersionUnreadable, IDS_VERSION_UNREADABLE);

  // Both installer runs write the installer's own log into one folder; without it they run all the same.
  InstallerLog installerLog;
  const AdminFolder logFolder = openInstallerLogFolder();
  if (logFolder.state == AdminFolder::State::Ready) {
    installerLog.folder = logFolder.path;
  } else {
    WriteLog(logsite::ReplaceInstallerLogOff, installerLogFolderMessage(logFolder).c_str());
  }

  // From the uninstall until the install has ended the PC has no agent: should the tool's process end
  // meanwhile, the journal and the task finish the job at the next start.
  ReplacementSafeguard safeguard;
  safeguard.keep(getAgentPackagePath(), versionRead ? &version : nullptr, getAuthSettings());

  std::uint32_t uninstallCode = 0;
  if (!ExecUninstallMsiByProductCodeSync(uninstallCode, &installerLog)) {
    // The old agent is still there: nothing is left to finish.
    safeguard.release();
    // The one outcome whose box follows its log lines.
    if (versionRead) {
      logVersionedText(logsite::ReplaceUninstallFailedVersion, IDS_UNINSTALL_FAILED, version);
    } else {
      logCatalogueText(logsite::ReplaceUninstallFailed, IDS_UNINSTALL_FAILED_LOG);
    }
    logInstallerLogFile(logsite::ReplaceUninstallLog, installerLog);
    showBox(IDS_UNINSTALL_FAILED, kBoxOk | kBoxIconWarning);
    if (outcome != nullptr) *outcome = ReplacementOutcome::UninstallFailed;
    return false;
  }

  testKillPoint(u"after-uninstall");
  safeguard.markUninstalled();
  showProgressStep(ProgressStep::Pausing);
  testKillPoint(u"pause");
  waitKeepingProgress(kPauseAfterUninstall);
  if (versionRead) {
    logVersionedText(logsite::ReplaceUninstalledVersion, IDS_AGENT_UNINSTALLED, version);
  } else {
    logCatalogueText(logsite::ReplaceUninstalled, IDS_AGENT_UNINSTALLED);
  }

  // The package is not looked for beforehand: a missing file shows as a failed install.
  const std::u16string packagePath = getAgentPackagePath();
  const AuthSettings& settings = getAuthSettings();
  std::uint32_t installCode = 0;
  showProgressStep(ProgressStep::Installing);
  if (!ExecMsiSync(packagePath.c_str(), settings.CompanyCode.c_str(), settings.CertCode.c_str(), installCode,
                   &installerLog)) {
    showBox(IDS_INSTALL_FAILED, kBoxOk | kBoxIconWarning);
    logCatalogueText(logsite::ReplaceInstallFailed, IDS_INSTALL_FAILED_LOG);
    logInstallerLogFile(logsite::ReplaceInstallLog, installerLog);
    // The PC has no agent: the journal (and the task) stay, and the next start tries the install again.
    if (safeguard.keptForNextStart()) logCatalogueText(logsite::ReplaceKeptForNextStart, IDS_FINISH_KEPT_FOR_NEXT_START);
    if (outcome != nullptr) *outcome = ReplacementOutcome::InstallFailed;
    return false;
  }
  testKillPoint(u"after-install");
  safeguard.release();

  if (getAgentVersion(version)) {
    logVersionedText(logsite::ReplaceInstalledVersion, IDS_AGENT_INSTALLED, version);
  } else {
    logCatalogueText(logsite::ReplaceInstalledVersionUnreadable, IDS_VERSION_UNREADABLE);
    logCatalogueText(logsite::ReplaceInstalled, IDS_AGENT_INSTALLED);
  }
  // Auth.ini is looked for again: the closing line tells whether the codes went to the installer.
  if (existsAuthFile()) {
    logCatalogueText(logsite::ReplaceCompleteAuthenticated, IDS_MIGRATION_COMPLETE_AUTHENTICATED);
  } else {
    logCatalogueText(logsite::ReplaceComplete, IDS_MIGRATION_COMPLETE);
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
