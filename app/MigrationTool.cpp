// The migration flow: one straight sequence of steps in the application's start-up hook. Each step passes
// or ends the run with its outcome: as a rule a warning box and, after the user closed it, an ERROR line
// in the run log.
#include "app/MigrationTool.h"

#include "app/CommandLineOptions.h"
#include "app/CommandLineStart.h"
#include "app/LicenseDialog.h"
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/OutcomeRecord.h"
#include "helper/PackageFile.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"
#include "platform/Com.h"
#include "platform/FinishTask.h"
#include "platform/MessageBox.h"
#include "platform/Progress.h"
#include "platform/StringTable.h"
#include "platform/Text.h"
#include "platform/UiMode.h"
#include "res/Messages.h"

#include <memory>
#include <optional>

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

void logFormatted(const LogSite& site, unsigned formatId, std::initializer_list<FormatArg> args) {
  WriteLog(site, formatText(LoadMessageText(formatId), args).c_str());
}

// Asks the user to confirm the enrolment settings read from Auth.ini. The question is built whole,
// however long the values are. A run that may ask nothing logs the values it goes on with instead; the
// certification code stays out of the run log, which every user of the PC can read.
bool confirmSettings(const AuthSettings& settings) {
  if (uiMode() != UiMode::Full) {
    logFormatted(logsite::FlowSettingsLogged, IDS_SETTINGS_LOGGED, {settings.CompanyName, settings.CompanyCode});
    return true;
  }
  char16_t format[256];
  loadString(IDS_CONFIRM_SETTINGS, format, 256);
  const std::u16string question =
      formatText(format, {settings.CompanyName, settings.CompanyCode, settings.CertCode});
  return showMessageBox(question.c_str(), LoadToolCaption(), kBoxYesNo) == kIdYes;
}

// /AcceptTerms: the administrator has accepted the terms for the organisation. What was accepted must still
// be there: the terms are read as the dialog reads them, and unreadable terms end the run as in the dialog.
bool termsPresent() {
  char16_t* text = nullptr;
  if (!Helper::readLicenseText(text)) return false;
  const std::unique_ptr<char16_t[]> owned(text);
  return true;
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

// Every run ends here: its exit status, and what the fleet's tools read of it (the outcome record and the
// event, helper/RunEvent.cpp).
BOOL CMigrationToolApp::Finish(ToolExitCode code) {
  m_nExitCode = static_cast<int>(code);
  m_run.exitCode = code;
  m_run.time = currentLocalTime();
  m_run.destination = ServerBaseUrl;
  Helper::reportRun(m_run, m_passedGuard);
  return FALSE;  // no message loop: the run is over
}

// A PC that this tool migrated already, whose agent is still the one it installed, is left as it is: a
// software distribution runs the tool again and again, and a rerun must not take the agent away for nothing.
// A record whose agent is no longer installed is withdrawn (the run then goes on as any run).
bool CMigrationToolApp::IsMigratedAlready() {
  const RecordedMigration record = Helper::readOutcomeRecord();
  const AgentIdentity installed = Helper::readAgentIdentity();
  m_run.oldAgent = installed;  // the agent this run may replace
  switch (judgeRecord(record, installed)) {
    case RecordVerdict::None:
      return false;
    case RecordVerdict::Stale: {
      const std::u16string message =
          formatText(u"%s Recorded(%s) Installed(%s)",
                     {LoadMessageText(IDS_RECORD_STALE_LOG), record.newProductCode,
                      installed.productCode.empty() ? std::u16string(u"-") : installed.productCode});
      WriteLog(logsite::FlowRecordStale, message.c_str());
      Helper::recordOutcome(staleRecordValues());
      return false;
    }
    case RecordVerdict::AlreadyMigrated:
      break;
  }
  m_run.oldAgent = {u"", record.oldProductVersion};
  m_run.newAgent = installed;
  AgentVersion version;
  if (Helper::parseVersion(installed.productVersion, version)) {
    WriteLog(logsite::FlowAlreadyMigrated,
             formatText(u"%s(V%d.%d.%d)", {LoadMessageText(IDS_ALREADY_MIGRATED_LOG), version.major, version.minor,
                                           version.build}).c_str());
  } else {
    logLine(logsite::FlowAlreadyMigrated, IDS_ALREADY_MIGRATED_LOG);
  }
  const char16_t* caption = LoadToolCaption();
  showMessageBox(LoadMessageText(IDS_ALREADY_MIGRATED), caption, kBoxOk);
  return true;
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
  const FinishOutcome outcome = FinishJournal();
  if (outcome == FinishOutcome::NoJournal) {
    logLine(logsite::FlowResumeNothing, IDS_FINISH_NOTHING);
    removeFinishTask();
  } else if (outcome == FinishOutcome::FolderUnusable) {
    removeFinishTask();  // nothing in that folder is acted on, at this start or any other
  }
  return Finish(exitCodeOf(outcome));
}

// A run started by hand, or by a software distribution, on a PC whose last replacement was cut short: once
// there is an agent on it again, the run's work is done. A journal that could not be acted on, or one whose
// replacement never began, leaves the run to go on as usual.
std::optional<ToolExitCode> CMigrationToolApp::FinishInterrupted() {
  const FinishOutcome outcome = FinishJournal();
  switch (outcome) {
    case FinishOutcome::Finished:
    case FinishOutcome::FoundNewAgent:
      showMessageBox(LoadMessageText(IDS_MIGRATION_COMPLETE), LoadToolCaption(), kBoxOk);
      return exitCodeOf(outcome);
    case FinishOutcome::RetryAtNextStart:
    case FinishOutcome::GivenUp:
      showMessageBox(LoadMessageText(IDS_INSTALL_FAILED), LoadToolCaption(), kBoxOk | kBoxIconWarning);
      return exitCodeOf(outcome);
    case FinishOutcome::NoJournal:
    case FinishOutcome::FolderUnusable:
    case FinishOutcome::FoundOldAgent:
    case FinishOutcome::JournalRefused:
      break;
  }
  return std::nullopt;
}

// The finishing step, and what its outcome record says: a replacement that ends with the journal's new agent
// installed (now, or by the run that was cut short after the install) is a migration like any other.
FinishOutcome CMigrationToolApp::FinishJournal() {
  JournalAgents journal;
  const FinishOutcome outcome = Helper::finishReplacement(&journal);
  if (outcome == FinishOutcome::Finished || outcome == FinishOutcome::FoundNewAgent) {
    const AgentIdentity installed = Helper::readAgentIdentity();
    if (!journal.newProductCode.empty() && equalsIgnoringAsciiCase(installed.productCode, journal.newProductCode)) {
      m_run.replaced = true;
      m_run.replacementRan = outcome == FinishOutcome::Finished;
      m_run.oldAgent = {journal.oldProductCode, journal.oldProductVersion};
      m_run.newAgent = installed;
    }
  }
  return outcome;
}

BOOL CMigrationToolApp::InitInstance() {
  initializeCom();

  CommandLineOptions options;
  if (const std::optional<ToolExitCode> ended = startFromCommandLine(m_arguments, options)) return Finish(*ended);

  if (Helper::isAlreadyRunning(m_hMutex)) {
    reportFailure(IDS_ALREADY_RUNNING, logsite::FlowAlreadyRunning, IDS_ALREADY_RUNNING);
    return Finish(ToolExitCode::AlreadyRunning);
  }
  m_passedGuard = true;
  // The finishing task's run (quiet, as the command line made it) does that and nothing else.
  if (options.resume) return FinishResume();
  // A replacement that an earlier run left unfinished is finished before anything else: the PC may have no
  // agent.
  if (const std::optional<ToolExitCode> finished = FinishInterrupted()) return Finish(*finished);
  // Before the terms: a rerun on a migrated PC asks nothing.
  if (IsMigratedAlready()) return Finish(ToolExitCode::Replaced);

  InitCommonControlClasses();
  CWinApp::InitInstance();

  if (options.acceptTerms) {
    if (!termsPresent()) {
      reportFailure(IDS_FILE_MISSING, logsite::FlowTermsUnreadable, IDS_FILE_MISSING_LOG);
      return Finish(ToolExitCode::TermsUnreadable);
    }
    logLine(logsite::FlowTermsAcceptedBySwitch, IDS_TERMS_ACCEPTED_BY_SWITCH);
  } else {
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
  }
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

  // The agent this tool installed on an earlier run is never uninstalled, whatever else the record says.
  const AgentIdentity installed = Helper::readAgentIdentity();
  if (isRecordedAgent(Helper::readOutcomeRecord(), installed.productCode)) {
    reportFailure(IDS_RECORDED_AGENT_KEPT, logsite::FlowRecordedAgentKept, IDS_RECORDED_AGENT_KEPT_LOG);
    return Finish(ToolExitCode::RecordedAgentKept);
  }

  m_run.oldAgent = installed;
  m_run.replacementRan = true;
  ReplacementOutcome outcome = ReplacementOutcome::InstallFailed;
  Helper::updateQuillon(&outcome);
  if (outcome == ReplacementOutcome::Replaced || outcome == ReplacementOutcome::ReplacedRestartRequired) {
    m_run.replaced = true;
    m_run.newAgent = Helper::readAgentIdentity();
  }
  return Finish(exitCodeOf(outcome));
}

int CMigrationToolApp::ExitInstance() {
  if (m_hMutex != nullptr) closeInstanceHandle(m_hMutex);
  uninitializeCom();
  return CWinApp::ExitInstance();
}
