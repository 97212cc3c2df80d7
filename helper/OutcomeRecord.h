// The tool's outcome record: what each run ended with, under HKLM\SOFTWARE\TORVA\QuillonMigrationTool in the
// 32-bit registry view, where an administrator's inventory, a software distribution's detection rule or a
// script reads one key. "Migrated" = 1 is the detection rule: this tool replaced the agent, and the agent it
// installed is the one the PC has (as far as the tool's last run could tell). docs/ADMINISTRATORS.md has the
// values for administrators.
#pragma once

#include "log/LogEntry.h"
#include "res/ExitCodes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr char16_t kOutcomeRecordKey[] = u"SOFTWARE\\TORVA\\QuillonMigrationTool";

// An agent as its installation leaves it under the agent's key; empty texts where a value cannot be read.
struct AgentIdentity {
  std::u16string productCode;
  std::u16string productVersion;
};

// What one run found and did, for its record and its event.
struct RunOutcome {
  ToolExitCode exitCode = ToolExitCode::Replaced;
  LogTime time;                  // when the run ended, local time
  std::u16string destination;    // the destination server's base URL
  bool replaced = false;         // this run uninstalled the old agent and installed the new one
  bool replacementRan = false;   // this run reached the uninstall (its installer logs may tell more)
  AgentIdentity oldAgent;        // the agent this run found (or, on a migrated PC, the one the record names)
  AgentIdentity newAgent;        // the agent this run installed (or, on a migrated PC, the one installed)
};

// One value of the record: a text (REG_SZ) or a number (REG_DWORD).
struct RecordValue {
  const char16_t* name;
  bool isNumber;
  std::u16string text;
  std::uint32_t number;
};

// The values a run's outcome writes, in this order: LastRunTime, LastExitCode, LastDestination; and, for a
// run that replaced the agent, Migrated (1), MigratedTime, OldProductCode, OldProductVersion, NewProductCode,
// NewProductVersion, Destination. Values a run does not write keep what an earlier run wrote.
std::vector<RecordValue> recordValues(const RunOutcome& run);

// The one value that withdraws the record's "migrated": Migrated = 0 (the other values stay, as history).
std::vector<RecordValue> staleRecordValues();

// A time as the record writes it: ISO 8601 local time, "2026-01-09T14:30:12".
std::u16string isoLocalTime(const LogTime& time);

// What the record says of the PC's migration, as read back.
struct RecordedMigration {
  bool migrated = false;             // Migrated is a REG_DWORD 1
  std::u16string oldProductVersion;  // OldProductVersion
  std::u16string newProductCode;     // NewProductCode: the agent this tool installed
  std::u16string newProductVersion;  // NewProductVersion
};

// How a run takes the record, given the agent installed now.
enum class RecordVerdict {
  None,             // no migration recorded: the run goes on as a normal run
  AlreadyMigrated,  // Migrated, and the installed agent is the one recorded: the run changes nothing
  Stale,            // Migrated, but the recorded agent is no longer the installed one: "migrated" is withdrawn
                    // and the run goes on as a normal run
};
RecordVerdict judgeRecord(const RecordedMigration& record, const AgentIdentity& installed);

// True when `productCode` is the agent the record names as this tool's (whether or not it still says
// Migrated): that agent is never uninstalled. Product codes compare without regard to letter case.
bool isRecordedAgent(const RecordedMigration& record, std::u16string_view productCode);

}  // namespace quillon
