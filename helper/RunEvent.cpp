// The end of a run for the fleet's tools: its outcome record, and its one event in the Application log
// (res/Events.inc: event ID 1000 + the exit status, its type and text), reported from the tool's own event
// source, whose message file is the tool's copy in its data folder.
#include "helper/Helper.h"
#include "helper/OutcomeRecord.h"
#include "helper/RunEventTable.h"
#include "helper/ToolCopy.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"
#include "platform/AdminFolder.h"
#include "platform/EventLog.h"
#include "platform/Registry.h"
#include "platform/Text.h"

using namespace quillon;

namespace {

// The event source's registration: the message file (the tool's copy, where only administrators write) and
// the types it reports (error, warning, information). Written again on each run, so a moved or repaired
// registration comes right.
void registerEventSource(const std::u16string& messageFile) {
  WritableRegistryKey key;
  int status = key.create(kEventSourceKey, KeyView::Own);
  if (status != 0) {
    WriteLog(logsite::EventSourceRegistrationFailed, formatText(u"RegCreateKeyEx Error(%d)", {status}).c_str());
    return;
  }
  if ((status = key.setExpandString(u"EventMessageFile", messageFile)) != 0) {
    WriteLog(logsite::EventSourceRegistrationFailed,
             formatText(u"RegSetValueEx Error(%d) EventMessageFile", {status}).c_str());
  }
  if ((status = key.setDword(u"TypesSupported", kEventTypesSupported)) != 0) {
    WriteLog(logsite::EventSourceRegistrationFailed,
             formatText(u"RegSetValueEx Error(%d) TypesSupported", {status}).c_str());
  }
}

std::u16string orDash(const std::u16string& text) { return text.empty() ? std::u16string(u"-") : text; }

}  // namespace

std::vector<std::u16string> quillon::runEventStrings(const RunOutcome& run, const std::u16string& runLog,
                                                     const std::u16string& installerLogFolder) {
  return {orDash(run.oldAgent.productVersion), orDash(run.newAgent.productVersion), orDash(run.destination),
          orDash(runLog), orDash(installerLogFolder)};
}

void Helper::reportRun(const RunOutcome& run, bool mayRecord) {
  if (run.exitCode == ToolExitCode::UsageShown) return;  // /? changes nothing, not even the logs
  if (mayRecord) {
    recordOutcome(recordValues(run));
    // Only the copy that holds the guard places the tool's copy: two copies must not replace it at once.
    const std::u16string messageFile = placeToolCopy(openToolDataFolder());
    if (!messageFile.empty()) registerEventSource(messageFile);
  }
  std::u16string installerLogFolder;
  if (run.replacementRan) {
    const AdminFolder folder = openInstallerLogFolder();
    if (folder.state == AdminFolder::State::Ready) installerLogFolder = folder.path;
  }
  const RunEventKind kind = runEventKind(run.exitCode);
  const int status = reportEvent(kind.type, kind.id, runEventStrings(run, runLogPath(), installerLogFolder));
  if (status != 0) WriteLog(logsite::EventReportFailed, formatText(u"ReportEvent Error(%d)", {status}).c_str());
}
