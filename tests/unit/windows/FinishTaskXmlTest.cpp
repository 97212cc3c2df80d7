// The finishing task as Windows keeps it on the disk: the XML file under the system folder's Tasks, which
// names the triggers, the account and the command that Task Scheduler will run.
#include "platform/FinishTask.h"
#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

using namespace quillon;
using namespace testing_support;

namespace {

// The task's file, through the native system folder also from a 32-bit process on 64-bit Windows.
fs::path taskFile() {
  wchar_t windows[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  return fs::path(std::wstring(windows, length)) / (wow64 ? L"Sysnative" : L"System32") / L"Tasks" /
         L"QuillonMigrationTool" / L"Finish";
}

std::u16string fileText(const fs::path& file) {
  const std::string bytes = readBytes(file);
  if (bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe') return fromUtf16le(bytes.substr(2));
  return fromUtf8(bytes);
}

TEST(FinishTaskXml, NamesTheTriggersTheAccountAndTheCommand) {
  EXPECT_EQ(removeFinishTask(), 0);
  const int registered = registerFinishTask({u"C:\\ProgramData\\Quillon & Co\\MigrationTool.exe", u"/resume"});
  if (registered == static_cast<int>(0x80004001u)) GTEST_SKIP() << "this Task Scheduler cannot make a boot trigger";
  ASSERT_EQ(registered, 0);
  const std::u16string xml = fileText(taskFile());
  for (const char16_t* expected :
       {u"<BootTrigger", u"<LogonTrigger", u"<UserId>S-1-5-18</UserId>", u"<RunLevel>HighestAvailable</RunLevel>",
        u"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
        u"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
        u"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>", u"<ExecutionTimeLimit>PT2H</ExecutionTimeLimit>",
        u"<Command>C:\\ProgramData\\Quillon &amp; Co\\MigrationTool.exe</Command>",
        u"<Arguments>/resume</Arguments>"}) {
    EXPECT_NE(xml.find(expected), std::u16string::npos) << toUtf8(expected) << "\n" << toUtf8(xml);
  }
  EXPECT_EQ(removeFinishTask(), 0);
  EXPECT_FALSE(fs::exists(taskFile()));
}

}  // namespace
