// The migration flow: one straight sequence of steps in the application's start-up hook. Each step passes
// or ends the run with its outcome: as a rule a warning box and, after the user closed it, an ERROR line
// in the run log.
#include "app/MigrationTool.h"

#include "app/LicenseDialog.h"
#include "helper/Helper.h"
#include "helper/PackageFile.h"
#include "log/LogSite.h"
#include "platform/Com.h"
#include "platform/FinishTask.h"
#include "platform/MessageBox.h"
#include "platform/Progress.h"
#include "platform/ResumeSwitch.h"
#include "platform/StringTable.h"
#include "platform/Text.h"
#include "platform/UiMode.h"
#include "res/Messages.h"

using namespace quillon;

CMigrationToolApp theApp;

namespace {

void logLine(const LogSite& site, unsigned textId) { WriteLog(site, LoadMessageText(textId)); }

// The usual failure: a warning box, then, once the user has closed it, the log line.
void reportFailure(unsigned boxTextId, const LogSite& site, unsigned logTextId) {
  const char16_t* caption = LoadToolCaption();
  showMessageBox(LoadMessageText(boxTextId), caption, kBoxOk | kBoxIconWarning);
  logLine(site, logTextId);
}

// Asks the user to confirm the enrolment settings read from Auth.ini. The question is built whole,
// however long the values are.
bool confirmSettings(const AuthSettings& settings) {
  char16_t format[256];
  loadString(IDS_CONFIRM_SETTINGS, format, 256);
  const std::u16string question =
      formatText(format, {settings.CompanyName, settings.CompanyCode, settings.CertCode});
  return showMessageBox(question.c_str(), LoadToolCaption(), kBoxYesNo) == kIdYes;
}

ToolExitCode exitCodeOf(ReplacementOutcome outcome) {
  switch (outcome) {
    case ReplacementOutcome::Replaced: return ToolExitCode::Replaced;
    case ReplacementOutcome::ReplacedRestartRequired: return ToolExitCode::RestartRequired;
    case ReplacementOutcome::UninstallFailed: return ToolExitCode::UninstallFailed;
    case ReplacementOutcome::InstallFailed: break;
  }
  return ToolExitCode::InstallFailed;
}

ToolExitCode exitCodeOf(FinishOutcome outcome) {
  switch (outcome) {
    case FinishOutcome::Finished: return ToolExitCode::Finished;
    case FinishOutcome::NoJournal:
    case FinishOutcome::FoundNewAgent: return ToolExitCode::FinishFoundAgent;
    case FinishOutcome::FoundOldAgent: return ToolExitCode::FinishFoundOldAgent;
    case FinishOutcome::RetryAtNextStart: return ToolExitCode::FinishRetry;
    case FinishOutcome::FolderUnusable:
    case FinishOutcome::GivenUp:
    case FinishOutcome::JournalRefused: break;
  }
  return ToolExitCode::FinishGivenUp;
}

}  // namespace

CMigrationToolApp::CMigrationToolApp() { m_dwRestartManagerSupportFlags = 1; }

BOOL CMigrationToolApp::Finish(ToolExitCode code) {
  m_nExitCode = static_cast<int>(code);
  return FALSE;  // no message loop: the run is over
}

// The user cancelled at the progress, before anything on the PC changed: no box, one line, and nothing of
// the package (which may be partial) left for a later run. Its hold is released before it is removed.
BOOL CMigrationToolApp::FinishCancelled(PackageFile& package) {
  closeProgress();
  package.discard();
  logLine(logsite::FlowCancelled, IDS_CANCELLED_LOG);
  return Finish(ToolExitCode::Cancelled);
}

// The run of the finishing task at the start of Windows: nobody is at the keyboard, so nothing is shown; the
// run log and the exit status tell the outcome. A task left with nothing to finish goes.
BOOL CMigrationToolApp::FinishResume() {
  logLine(logsite::FlowResumeRun, IDS_FINISH_TASK_RUN);
  const FinishOutcome outcome = Helper::finishReplacement();
  if (outcome == FinishOutcome::NoJournal) {
    logLine(logsite::FlowResumeNothing, IDS_FINISH_NOTHING);
    removeFinishTask();
  } else if (outcome == FinishOutcome::FolderUnusable) {
    removeFinishTask();  // nothing in that folder is acted on, at this start or any other
  }
  return Finish(exitCodeOf(outcome));
}

BOOL CMigrationToolApp::InitInstance() {
  initializeCom();
  // The finishing task's run shows no window of any kind. (The one place the command line is read for now.)
  const bool resume = resumeSwitchGiven();
  if (resume) setUiMode(UiMode::Quiet);

  if (Helper::isAlreadyRunning(m_hMutex)) {
    reportFailure(IDS_ALREADY_RUNNING, logsite::FlowAlreadyRunning, IDS_ALREADY_RUNNING);
    return Finish(ToolExitCode::AlreadyRunning);
  }
  if (resume) return FinishResume();

  InitCommonControlClasses();
  CWinApp::InitInstance();

  // A replacement that an earlier run left unfinished is finished before anything else: the PC may have no
  // agent. Once there is an agent on it again, the run's work is done; a journal that could not be acted on,
  // or one whose replacement never began, leaves the run to go on as usual.
  switch (const FinishOutcome outcome = Helper::finishReplacement()) {
    case FinishOutcome::Finished:
    case FinishOutcome::FoundNewAgent:
      showMessageBox(LoadMessageText(IDS_MIGRATION_COMPLETE), LoadToolCaption(), kBoxOk);
      return Finish(exitCodeOf(outcome));
    case FinishOutcome::RetryAtNextStart:
    case FinishOutcome::GivenUp:
      showMessageBox(LoadMessageText(IDS_INSTALL_FAILED), LoadToolCaption(), kBoxOk | kBoxIconWarning);
      return Finish(exitCodeOf(outcome));
    case FinishOutcome::NoJournal:
    case FinishOutcome::FolderUnusable:
    case FinishOutcome::FoundOldAgent:
    case FinishOutcome::JournalRefused:
      break;
  }

  CLicenseDialog dialog;
  switch (dialog.DoModal()) {
    case kLicenseAgreed:
      break;
    case kLicenseDeclined:
      logLine(logsite::FlowTermsDeclined, IDS_TERMS_DECLINED);
      return Finish(ToolExitCode::TermsDeclined);
    default:
      // The terms could not be read, or the dialog could not even be created: either way the user has
      // not agreed to anything, so the tool must not go on as if they had.
      reportFailure(IDS_FILE_MISSING, logsite::FlowTermsUnreadable, IDS_FILE_MISSING_LOG);
      return Finish(ToolExitCode::TermsUnreadable);
  }
  logLine(logsite::FlowTermsAgreed, IDS_TERMS_AGREED);
  logLine(logsite::FlowMigrationStarted, IDS_MIGRATION_STARTED);

  if (!Helper::isAgentInstalled()) {
    reportFailure(IDS_AGENT_NOT_FOUND, logsite::FlowAgentNotInstalled, IDS_AGENT_NOT_FOUND_LOG);
    return Finish(ToolExitCode::AgentNotInstalled);
  }

  if (Helper::existsAuthFile()) {
    AuthSettings& settings = Helper::getAuthSettings();
    if (!Helper::readAuthSettings(settings.CompanyName, settings.CompanyCode, settings.CertCode)) {
      reportFailure(IDS_SETTINGS_FAULTY, logsite::FlowSettingsFaulty, IDS_SETTINGS_FAULTY_LOG);
      return Finish(ToolExitCode::SettingsFaulty);
    }
    if (!confirmSettings(settings)) {
      logLine(logsite::FlowConfirmationDeclined, IDS_CONFIRMATION_CANCELLED);
      return Finish(ToolExitCode::ConfirmationDeclined);
    }
  }

  // From here to the closing box the user sees what the tool is doing, and can stop it until the uninstall
  // begins. Every box closes the progress first.
  openProgress();
  // From its download to the end of the run, the package is held against every change by other programs, so
  // what is installed is what was checked.
  PackageFile package;
  char16_t packageUrl[512] = {};
  if (!Helper::getDownloadUrl(packageUrl)) {
    if (cancelRequested()) return FinishCancelled(package);
    reportFailure(IDS_URL_NOT_FOUND, logsite::FlowPackageUrlNotFound, IDS_URL_NOT_FOUND_LOG);
    return Finish(ToolExitCode::PackageUrlNotFound);
  }

  // A package that the install command could not apply counts as not downloaded: the old agent must not
  // be removed for it.
  const std::u16string packagePath = Helper::getAgentPackagePath();
  const bool downloaded = Helper::downloadFile(packageUrl, packagePath.c_str(), package) &&
                          Helper::checkAgentPackage(packagePath.c_str());
  // A Cancel pressed during the download, or since, is the last word before the uninstall: the replacement
  // disables it before the window answers the user again.
  if (cancelRequested()) return FinishCancelled(package);
  if (!downloaded) {
    reportFailure(IDS_DOWNLOAD_FAILED, logsite::FlowDownloadFailed, IDS_DOWNLOAD_FAILED_LOG);
    return Finish(ToolExitCode::DownloadFailed);
  }

  ReplacementOutcome outcome = ReplacementOutcome::InstallFailed;
  Helper::updateQuillon(&outcome);
  return Finish(exitCodeOf(outcome));
}

int CMigrationToolApp::ExitInstance() {
  if (m_hMutex != nullptr) closeInstanceHandle(m_hMutex);
  uninitializeCom();
  return CWinApp::ExitInstance();
}
