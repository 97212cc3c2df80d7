// The outcome record's rules (shared by both builds) and its reading and writing through platform/Registry.h.
#include "helper/OutcomeRecord.h"

#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "log/LogSite.h"
#include "platform/Registry.h"
#include "platform/Text.h"

using namespace quillon;

namespace {

constexpr std::size_t kProductCodeCapacity = 261;     // as the uninstall reads it
constexpr std::size_t kProductVersionCapacity = 32;   // as the version read takes it
constexpr std::size_t kRecordTextCapacity = 261;

RecordValue text(const char16_t* name, std::u16string value) { return {name, false, std::move(value), 0}; }
RecordValue number(const char16_t* name, std::uint32_t value) { return {name, true, {}, value}; }

// The runs that leave the PC with the agent they installed: a replacement, and the finishing of one that an
// earlier run left unfinished (or found finished).
bool isReplacement(ToolExitCode code) {
  return code == ToolExitCode::Replaced || code == ToolExitCode::RestartRequired || code == ToolExitCode::Finished ||
         code == ToolExitCode::FinishFoundAgent;
}

std::u16string readText(const RegistryKey& key, const char16_t* name, std::size_t capacity) {
  std::u16string buffer(capacity, u'\0');
  if (Helper::readRegistryString(key, name, buffer.data(), capacity) != 0) return {};
  return buffer.substr(0, buffer.find(u'\0'));
}

}  // namespace

std::u16string quillon::isoLocalTime(const LogTime& time) {
  return formatText(u"%04d-%02d-%02dT%02d:%02d:%02d",
                    {time.year, time.month, time.day, time.hour, time.minute, time.second});
}

std::vector<RecordValue> quillon::recordValues(const RunOutcome& run) {
  const std::u16string when = isoLocalTime(run.time);
  std::vector<RecordValue> values{text(u"LastRunTime", when),
                                  number(u"LastExitCode", static_cast<std::uint32_t>(run.exitCode)),
                                  text(u"LastDestination", run.destination)};
  if (run.replaced && isReplacement(run.exitCode)) {
    values.push_back(number(u"Migrated", 1));
    values.push_back(text(u"MigratedTime", when));
    values.push_back(text(u"OldProductCode", run.oldAgent.productCode));
    values.push_back(text(u"OldProductVersion", run.oldAgent.productVersion));
    values.push_back(text(u"NewProductCode", run.newAgent.productCode));
    values.push_back(text(u"NewProductVersion", run.newAgent.productVersion));
    values.push_back(text(u"Destination", run.destination));
  }
  return values;
}

std::vector<RecordValue> quillon::staleRecordValues() { return {number(u"Migrated", 0)}; }

RecordVerdict quillon::judgeRecord(const RecordedMigration& record, const AgentIdentity& installed) {
  if (!record.migrated) return RecordVerdict::None;
  return isRecordedAgent(record, installed.productCode) ? RecordVerdict::AlreadyMigrated : RecordVerdict::Stale;
}

bool quillon::isRecordedAgent(const RecordedMigration& record, std::u16string_view productCode) {
  return !record.newProductCode.empty() && equalsIgnoringAsciiCase(record.newProductCode, productCode);
}

AgentIdentity Helper::readAgentIdentity() {
  RegistryKey key;
  if (key.open(AgentRegistryKey) != 0) return {};
  return {readText(key, u"ProductCode", kProductCodeCapacity),
          readText(key, u"ProductVersion", kProductVersionCapacity)};
}

RecordedMigration Helper::readOutcomeRecord() {
  RecordedMigration record;
  RegistryKey key;
  if (key.open(kOutcomeRecordKey, KeyView::Bits32) != 0) return record;
  std::uint32_t type = kRegNone;
  std::uint32_t migrated = 0;
  std::uint32_t size = sizeof migrated;
  record.migrated = key.queryValue(u"Migrated", &type, &migrated, &size) == 0 && type == kRegDword &&
                    size == sizeof migrated && migrated == 1;
  record.oldProductVersion = readText(key, u"OldProductVersion", kRecordTextCapacity);
  record.newProductCode = readText(key, u"NewProductCode", kRecordTextCapacity);
  record.newProductVersion = readText(key, u"NewProductVersion", kRecordTextCapacity);
  return record;
}

void Helper::recordOutcome(const std::vector<RecordValue>& values) {
  // Only administrators can write here; a value that cannot be written is logged and the run's outcome
  // stands as it is.
  WritableRegistryKey key;
  if (const int status = key.create(kOutcomeRecordKey, KeyView::Bits32); status != 0) {
    WriteLog(logsite::RecordWriteFailed, formatText(u"RegCreateKeyEx Error(%d)", {status}).c_str());
    return;
  }
  for (const RecordValue& value : values) {
    const int status = value.isNumber ? key.setDword(value.name, value.number) : key.setString(value.name, value.text);
    if (status != 0) {
      WriteLog(logsite::RecordWriteFailed, formatText(u"RegSetValueEx Error(%d) %s", {status, value.name}).c_str());
    }
  }
}

bool Helper::keepRecordedAgent(const char16_t* productCode) {
  if (!isRecordedAgent(readOutcomeRecord(), productCode)) return false;
  WriteLog(logsite::RecordedAgentUninstallRefused, formatText(u"Recorded Agent Kept(%s)", {productCode}).c_str());
  return true;
}
