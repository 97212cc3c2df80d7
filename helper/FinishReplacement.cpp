// The finishing step: a replacement that an earlier run left unfinished is finished from its journal, with
// nobody at the keyboard (the task at the start of Windows), or first thing in the next run of the tool.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/InstallerBusy.h"
#include "helper/InstallerLog.h"
#include "helper/ReplacementJournal.h"
#include "log/LogSite.h"
#include "platform/FinishTask.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "res/Messages.h"

#include <boost/filesystem/operations.hpp>

using namespace quillon;

namespace {

void logText(const LogSite& site, const std::u16string& text) { WriteLog(site, text.c_str()); }
void logCatalogueText(const LogSite& site, unsigned id) { WriteLog(site, LoadMessageText(id)); }

// The catalogue text followed by the try's number: "...(2/3)".
void logTryText(const LogSite& site, unsigned id, unsigned attempt) {
  logText(site, formatText(u"%s(%u/%u)", {LoadMessageText(id), attempt, kFinishAttemptsLimit}));
}

bool exists(const std::u16string& file) {
  boost::system::error_code error;
  return boost::filesystem::symlink_status(toPath(file), error).type() != boost::filesystem::file_not_found;
}

void removeTask() {
  if (const int error = removeFinishTask(); error != 0) {
    logText(logsite::FinishTaskRemoveFailed, formatText(u"Finish Task Remove Error(%s)", {hexCode(error)}));
  }
}

void removeAll(const std::u16string& folder) {
  removeTask();
  if (const int error = removeJournalFiles(folder); error != 0) {
    logText(logsite::FinishJournalRemoveFailed, formatText(u"Journal Remove Error(%d)", {error}));
  }
}

// The journal read and judged: true when it can be acted on (whole, of this build's server, its codes readable
// on this machine); otherwise false, and why not is logged.
bool readJournal(const std::u16string& folder, ReplacementJournal& journal, AuthSettings& codes) {
  std::string bytes;
  if (!readWholeFile(toPath(journalFile(folder)), bytes, Sharing::Shared)) {
    logText(logsite::FinishJournalRefused, u"Journal Refused(Unreadable)");
    return false;
  }
  if (const JournalDefect defect = parseJournal(bytes, journal); defect != JournalDefect::None) {
    logText(logsite::FinishJournalRefused, formatText(u"Journal Refused(%s)", {journalDefectName(defect)}));
    return false;
  }
  // The install command carries this build's server: a journal for another server is not this tool's to finish.
  if (journal.serverUrl != kAgentEndpointUrl) {
    logText(logsite::FinishJournalRefused, u"Journal Refused(Server)");
    return false;
  }
  if (!journal.protectedCodes.empty()) {
    if (const int error = unprotectCodes(journal.protectedCodes, codes.CompanyCode, codes.CertCode); error != 0) {
      logText(logsite::FinishJournalRefused, formatText(u"Journal Refused(Codes Error(%d))", {error}));
      return false;
    }
  }
  return true;
}

// The package copy is the package the journal recorded, byte for byte.
bool packageProved(const std::u16string& folder, const ReplacementJournal& journal) {
  const std::u16string file = journalPackageFile(folder);
  std::string bytes;
  if (!readWholeFile(toPath(file), bytes, Sharing::Shared, kJournalPackageLimit)) {
    logText(logsite::FinishPackageRefused, formatText(u"Package Copy Unreadable(%s)", {file}));
    return false;
  }
  const std::optional<Sha256Digest> digest = sha256Of(bytes);
  if (bytes.size() != journal.packageSize || !digest || *digest != journal.packageSha256) {
    logText(logsite::FinishPackageRefused, formatText(u"Package Copy Changed(%s)", {file}));
    return false;
  }
  return true;
}

FinishOutcome install(const std::u16string& folder, ReplacementJournal& journal, const AuthSettings& codes) {
  // The try is counted before it is made, so that a try cut short by another power cut counts too.
  const unsigned attempt = journal.attempts + 1;
  journal.attempts = attempt;
  if (const int error = writeJournal(folder, journal); error != 0) {
    logText(logsite::FinishJournalWriteFailed, formatText(u"Journal Write Error(%d)", {error}));
    removeTask();
    return FinishOutcome::GivenUp;
  }
  logTryText(logsite::FinishInstalling, IDS_FINISH_INSTALLING, attempt);

  InstallerLog installerLog;
  const AdminFolder logFolder = openInstallerLogFolder();
  if (logFolder.state == AdminFolder::State::Ready) {
    installerLog.folder = logFolder.path;
  } else {
    logText(logsite::FinishInstallerLogOff, installerLogFolderMessage(logFolder));
  }
  std::uint32_t exitCode = 0;
  const std::u16string package = journalPackageFile(folder);
  if (!Helper::ExecMsiSync(package.c_str(), codes.CompanyCode.c_str(), codes.CertCode.c_str(), exitCode,
                           &installerLog)) {
    if (!installerLog.file.empty()) {
      logText(logsite::FinishInstallLog, installerLogMessage(installerLog.file, messageRoom(logsite::FinishInstallLog)));
    }
    if (attempt >= kFinishAttemptsLimit) {
      logTryText(logsite::FinishGivenUp, IDS_FINISH_GIVEN_UP, attempt);
      removeTask();
      return FinishOutcome::GivenUp;
    }
    logTryText(logsite::FinishInstallFailed, IDS_FINISH_INSTALL_FAILED, attempt);
    return FinishOutcome::RetryAtNextStart;
  }

  AgentVersion version;
  if (Helper::getAgentVersion(version)) {
    logText(logsite::FinishInstalledVersion, formatText(u"%s(V%d.%d.%d)", {LoadMessageText(IDS_AGENT_INSTALLED),
                                                                          version.major, version.minor, version.build}));
  } else {
    logCatalogueText(logsite::FinishInstalledVersionUnreadable, IDS_VERSION_UNREADABLE);
    logCatalogueText(logsite::FinishInstalled, IDS_AGENT_INSTALLED);
  }
  logCatalogueText(logsite::FinishComplete, IDS_FINISH_COMPLETE);
  removeAll(folder);
  return FinishOutcome::Finished;
}

}  // namespace

FinishOutcome Helper::finishReplacement(JournalAgents* agents) {
  const AdminFolder folder = openToolDataFolder();
  if (folder.state != AdminFolder::State::Ready) {
    // What a folder that others can write holds may be anyone's: nothing of it is read, let alone acted on.
    logText(logsite::FinishFolderOff, folder.state == AdminFolder::State::Refused
                                          ? formatText(u"Journal Folder Refused(%s)", {folder.path})
                                          : formatText(u"Journal Folder Error(%d)", {folder.error}));
    return FinishOutcome::FolderUnusable;
  }
  if (!exists(journalFile(folder.path))) return FinishOutcome::NoJournal;

  // An uninstall or install that the ended process started may still be running: the PC is read once it is
  // over.
  if (const std::optional<unsigned> waited = waitWhileInstallerBusy(installerBusyBound())) {
    logText(logsite::FinishBusyWait, formatText(u"Installer Busy(%u) Wait(%u)", {kInstallerBusy, *waited}));
  }

  ReplacementJournal journal;
  AuthSettings codes;
  FinishFacts facts;
  facts.journalUsable = readJournal(folder.path, journal, codes);
  facts.agent = installedAgent(facts.journalUsable ? &journal : nullptr);
  if (facts.journalUsable) {
    if (agents != nullptr) *agents = {journal.oldProductCode, journal.oldVersion, journal.newProductCode};
    facts.attempts = journal.attempts;
    logText(logsite::FinishFound,
            formatText(u"%s(Step=%s Attempts=%u)", {LoadMessageText(IDS_FINISH_FOUND),
                                                    journal.step == JournalStep::Install ? u"Install" : u"Uninstall",
                                                    journal.attempts}));
    // Only an install needs the copy; it is proved just before.
    if (facts.agent == InstalledAgent::None && facts.attempts < kFinishAttemptsLimit) {
      facts.packageProved = packageProved(folder.path, journal);
    }
  }

  switch (decideFinish(facts)) {
    case FinishAction::CleanUpDone:
      logCatalogueText(logsite::FinishFoundNewAgent, IDS_FINISH_FOUND_NEW_AGENT);
      removeAll(folder.path);
      return FinishOutcome::FoundNewAgent;
    case FinishAction::CleanUpOldAgent:
      logCatalogueText(logsite::FinishFoundOldAgent, IDS_FINISH_FOUND_OLD_AGENT);
      removeAll(folder.path);
      return FinishOutcome::FoundOldAgent;
    case FinishAction::RefuseJournalAgent:
      // An agent is on the PC, so nothing is missing: the journal, whatever it is, has nothing to finish.
      logCatalogueText(logsite::FinishRefusedAgent, IDS_FINISH_REFUSED_AGENT);
      removeAll(folder.path);
      return FinishOutcome::JournalRefused;
    case FinishAction::RefuseJournal:
      // No agent, and nothing that can be trusted to install: the journal stays for the administrator, and
      // the task is not run again for it.
      logCatalogueText(logsite::FinishRefused, IDS_FINISH_REFUSED);
      removeTask();
      return FinishOutcome::JournalRefused;
    case FinishAction::GiveUp:
      logTryText(logsite::FinishGivenUp, IDS_FINISH_GIVEN_UP, journal.attempts);
      removeTask();
      return FinishOutcome::GivenUp;
    case FinishAction::Install:
      break;
  }
  return install(folder.path, journal, codes);
}
