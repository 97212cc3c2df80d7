// The outcome record's rules, the event each exit status is reported as, the registry's write contract (both
// builds), and the tool's copy in its data folder.
#include "helper/OutcomeRecord.h"
#include "helper/RunEventTable.h"
#include "helper/ToolCopy.h"
#include "platform/AdminFolder.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <fstream>
#include <set>

using namespace quillon;
using namespace testing_support;

namespace {

constexpr char16_t kOld[] = u"{6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B}";
constexpr char16_t kNew[] = u"{0B5C9E1D-7A42-4F63-8E2B-51D0C3A9F6E4}";

std::vector<std::u16string> names(const std::vector<RecordValue>& values) {
  std::vector<std::u16string> out;
  for (const RecordValue& value : values) out.emplace_back(value.name);
  return out;
}

RunOutcome outcome(ToolExitCode code, bool replaced) {
  RunOutcome run;
  run.exitCode = code;
  run.time = LogTime{2026, 1, 9, 4, 5, 6};
  run.destination = u"https://quillon.example.jp";
  run.replaced = replaced;
  run.oldAgent = {kOld, u"5.1.0"};
  run.newAgent = {kNew, u"6.0.0"};
  return run;
}

const std::vector<std::u16string> kEveryRun{u"LastRunTime", u"LastExitCode", u"LastDestination"};
const std::vector<std::u16string> kReplacement{u"LastRunTime",       u"LastExitCode",      u"LastDestination",
                                              u"Migrated",          u"MigratedTime",      u"OldProductCode",
                                              u"OldProductVersion", u"NewProductCode",    u"NewProductVersion",
                                              u"Destination"};

TEST(OutcomeRecordTest, OnlyARunThatReplacedTheAgentRecordsAMigration) {
  struct Case {
    ToolExitCode code;
    bool replaced;
    const std::vector<std::u16string>& written;
  } cases[] = {
      {ToolExitCode::Replaced, true, kReplacement},
      {ToolExitCode::RestartRequired, true, kReplacement},
      {ToolExitCode::Replaced, false, kEveryRun},  // a PC migrated already: its migration stays as recorded
      {ToolExitCode::InstallFailed, false, kEveryRun},
      {ToolExitCode::UninstallFailed, false, kEveryRun},
      {ToolExitCode::DownloadFailed, false, kEveryRun},
      {ToolExitCode::Cancelled, false, kEveryRun},
      {ToolExitCode::RecordedAgentKept, false, kEveryRun},
      {ToolExitCode::InstallFailed, true, kEveryRun},  // never "migrated" with a failure's status
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.code));
    const std::vector<RecordValue> values = recordValues(outcome(c.code, c.replaced));
    EXPECT_EQ(names(values), c.written);
    EXPECT_TRUE(values[1].isNumber);
    EXPECT_EQ(values[1].number, static_cast<std::uint32_t>(c.code));
    EXPECT_EQ(values[0].text, u"2026-01-09T04:05:06");
    if (values.size() > 3) {
      EXPECT_TRUE(values[3].isNumber);
      EXPECT_EQ(values[3].number, 1u);
      EXPECT_EQ(values[5].text, kOld);
      EXPECT_EQ(values[7].text, kNew);
      EXPECT_EQ(values[8].text, u"6.0.0");
    }
  }
  const std::vector<RecordValue> stale = staleRecordValues();
  ASSERT_EQ(names(stale), std::vector<std::u16string>{u"Migrated"});
  EXPECT_TRUE(stale[0].isNumber);
  EXPECT_EQ(stale[0].number, 0u);
}

TEST(OutcomeRecordTest, TheRecordAndTheInstalledAgentDecideARerun) {
  struct Case {
    bool migrated;
    const char16_t* recorded;
    const char16_t* installed;
    RecordVerdict verdict;
    bool kept;  // the installed agent must not be uninstalled
  } cases[] = {
      {false, u"", kOld, RecordVerdict::None, false},
      {true, kNew, kNew, RecordVerdict::AlreadyMigrated, true},
      {true, u"{0b5c9e1d-7a42-4f63-8e2b-51d0c3a9f6e4}", kNew, RecordVerdict::AlreadyMigrated, true},
      {true, kNew, kOld, RecordVerdict::Stale, false},  // the old agent is back
      {true, kNew, u"", RecordVerdict::Stale, false},   // no agent at all
      {true, u"", u"", RecordVerdict::Stale, false},    // a record without its agent names none
      {false, kNew, kNew, RecordVerdict::None, true},   // withdrawn, but still this tool's agent
      {true, kNew, u"{0B5C9E1D-7A42-4F63-8E2B-51D0C3A9F6E4} ", RecordVerdict::Stale, false},  // nothing trimmed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(std::u16string(c.recorded) + u" / " + c.installed));
    RecordedMigration record;
    record.migrated = c.migrated;
    record.newProductCode = c.recorded;
    EXPECT_EQ(judgeRecord(record, {c.installed, u"6.0.0"}), c.verdict);
    EXPECT_EQ(isRecordedAgent(record, c.installed), c.kept);
  }
}

TEST(OutcomeRecordTest, EveryExitStatusHasItsEventErrorsAsErrors) {
  const std::set<int> information{0, 2, 6, 11, 12, 14};
  for (int status = 0; status <= static_cast<int>(ToolExitCode::RecordedAgentKept); ++status) {
    SCOPED_TRACE(status);
    const RunEventKind kind = runEventKind(static_cast<ToolExitCode>(status));
    EXPECT_EQ(kind.id, 1000u + static_cast<unsigned>(status));
    EXPECT_EQ(kind.type, information.count(status) ? EventType::Information : EventType::Error);
    bool listed = false;
    for (const RunEventKind& event : kRunEvents) listed = listed || event.id == kind.id;
    EXPECT_TRUE(listed) << "res/Events.inc has no line for it";
  }
}

TEST(OutcomeRecordTest, TheEventNamesTheVersionsTheServerAndTheLogs) {
  RunOutcome run = outcome(ToolExitCode::DownloadFailed, false);
  run.newAgent = {};
  EXPECT_EQ(runEventStrings(run, u"C:\\Temp\\QuillonMigrationTool.log", u""),
            (std::vector<std::u16string>{u"5.1.0", u"-", u"https://quillon.example.jp",
                                         u"C:\\Temp\\QuillonMigrationTool.log", u"-"}));
}

// What a value reads back as: its type and bytes.
std::pair<std::uint32_t, std::string> readBack(const char16_t* subkey, const char16_t* name) {
  RegistryKey key;
  EXPECT_EQ(key.open(subkey, KeyView::Bits32), 0);
  std::string data(64, '\0');
  std::uint32_t type = kRegNone;
  std::uint32_t size = static_cast<std::uint32_t>(data.size());
  EXPECT_EQ(key.queryValue(name, &type, data.data(), &size), 0);
  data.resize(size);
  return {type, data};
}

TEST(RegistryWriteTest, ValuesReadBackAsWrittenAndReplaceTheirEarlierValue) {
  constexpr char16_t kKey[] = u"SOFTWARE\\TORVA\\QuillonMigrationToolUnitTest\\Record";
  const ScratchRegistryKey scratch(u"SOFTWARE\\TORVA\\QuillonMigrationToolUnitTest\\Record");
  {
    WritableRegistryKey key;
    ASSERT_EQ(key.create(kKey, KeyView::Bits32), 0);
    EXPECT_EQ(key.setString(u"Text", u"before"), 0);
    EXPECT_EQ(key.setString(u"Text", u"移行 \"quoted\" \\ path"), 0);
    EXPECT_EQ(key.setExpandString(u"File", u"%ProgramData%\\x.exe"), 0);
    EXPECT_EQ(key.setDword(u"Number", 0x01020304u), 0);
    EXPECT_EQ(key.setString(u"Empty", u""), 0);
  }
  struct Case {
    const char16_t* name;
    std::uint32_t type;
    std::string bytes;
  } cases[] = {
      {u"Text", kRegSz, toUtf16le(u"移行 \"quoted\" \\ path") + std::string(2, '\0')},
      {u"File", kRegExpandSz, toUtf16le(u"%ProgramData%\\x.exe") + std::string(2, '\0')},
      {u"Number", kRegDword, std::string("\x04\x03\x02\x01", 4)},
      {u"Empty", kRegSz, std::string(2, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.name));
    EXPECT_EQ(readBack(kKey, c.name), std::make_pair(c.type, c.bytes));
  }
  // Opening it again for writing keeps what is there.
  WritableRegistryKey again;
  ASSERT_EQ(again.create(kKey, KeyView::Bits32), 0);
  EXPECT_EQ(readBack(kKey, u"Number"), std::make_pair(std::uint32_t{kRegDword}, cases[2].bytes));
}

TEST(ToolCopyTest, TheCopyIsTheRunningProgramPutInPlaceWhole) {
  TempDirectory folder;
  AdminFolder dataFolder;
  dataFolder.state = AdminFolder::State::Ready;
  dataFolder.path = pathText(folder.path());
  std::string program;
  ASSERT_TRUE(readWholeFile(toPath(executablePath()), program, Sharing::Shared, kToolCopyLimit));

  const std::u16string copy = placeToolCopy(dataFolder);
  ASSERT_EQ(copy, pathText(folder.path() / "MigrationTool.exe"));
  std::string copied;
  ASSERT_TRUE(readWholeFile(toPath(copy), copied, Sharing::Shared, kToolCopyLimit));
  EXPECT_TRUE(copied == program);
  EXPECT_EQ(placeToolCopy(dataFolder), copy);  // the same bytes: left as it is

  // A copy that differs is replaced whole; nothing is left beside it.
  {
    std::ofstream(toPath(copy).string(), std::ios::binary | std::ios::trunc) << "old";
  }
  EXPECT_EQ(placeToolCopy(dataFolder), copy);
  ASSERT_TRUE(readWholeFile(toPath(copy), copied, Sharing::Shared, kToolCopyLimit));
  EXPECT_TRUE(copied == program);
  EXPECT_FALSE(fs::exists(toPath(copy + u".new")));

  // A link in the copy's place is replaced by the copy, never written through (Linux; on Windows only
  // administrators can make links at all).
  if (!runsOnWindows()) {
    const fs::path other = folder.path() / "other";
    std::ofstream(other.string(), std::ios::binary) << "other";
    fs::remove(toPath(copy));
    fs::create_symlink(other, toPath(copy));
    EXPECT_EQ(placeToolCopy(dataFolder), copy);
    EXPECT_FALSE(fs::is_symlink(toPath(copy)));
    std::string kept;
    ASSERT_TRUE(readWholeFile(other, kept, Sharing::Shared));
    EXPECT_EQ(kept, "other");
  }

  // A folder that is not Ready gives no copy.
  AdminFolder refused;
  refused.state = AdminFolder::State::Refused;
  refused.path = dataFolder.path;
  EXPECT_EQ(placeToolCopy(refused), u"");
}

}  // namespace
