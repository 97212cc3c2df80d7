// The finishing task as the system keeps it: registered, read back from the system's own store, replaced by
// a second registration, and removed. Windows: the Task Scheduler service of the machine (under Wine, the
// prefix's); Linux: the stand-in's task file under a folder of the test's own.
#include "platform/FinishTask.h"
#include "platform/Paths.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <memory>

using namespace quillon;
using namespace testing_support;

namespace {

// E_NOTIMPL, as a scheduler answers for what it cannot do.
constexpr int kNotImplemented = static_cast<int>(0x80004001u);

// The task store for the scope: Linux, a fresh folder named by QUILLON_TASK_FOLDER; Windows, the machine's,
// with no finishing task before or after.
class TaskStore {
 public:
  TaskStore() {
    if (!runsOnWindows()) folder_ = std::make_unique<ScopedEnvironment>("QUILLON_TASK_FOLDER", temp_.path().string());
    EXPECT_EQ(removeFinishTask(), 0);
  }
  ~TaskStore() { EXPECT_EQ(removeFinishTask(), 0); }

 private:
  TempDirectory temp_;
  std::unique_ptr<ScopedEnvironment> folder_;
};

TEST(FinishTask, IsReadBackAsRegisteredUntilRemoved) {
  const TaskStore store;
  const std::u16string data = runsOnWindows() ? u"C:\\ProgramData\\QuillonMigrationTool" : u"/var/lib/quillon";
  const struct {
    const char* what;
    FinishTaskCommand command;
  } cases[] = {
      {"the tool's copy", {data + u"\\MigrationTool.exe", u"/resume"}},
      {"blanks in the path", {data + u"\\Migration Tool (copy)\\MigrationTool.exe", u"/resume"}},
      {"characters the definition's language escapes", {data + u"\\a&b<c>'d'\\MigrationTool.exe", u"/resume \"&<>\""}},
      {"no arguments", {data + u"\\MigrationTool.exe", u""}},
  };
  for (const auto& c : cases) {
    FinishTaskCommand read{u"stale", u"stale"};
    EXPECT_EQ(readFinishTask(read), 2) << c.what;
    const int registered = registerFinishTask(c.command);
    if (runsOnWindows() && registered == kNotImplemented) {
      // Wine's Task Scheduler can make neither a boot trigger nor a principal: nothing may be registered.
      EXPECT_EQ(readFinishTask(read), 2) << c.what;
      continue;
    }
    ASSERT_EQ(registered, 0) << c.what;
    ASSERT_EQ(readFinishTask(read), 0) << c.what;
    EXPECT_EQ(read.program, c.command.program) << c.what;
    EXPECT_EQ(read.arguments, c.command.arguments) << c.what;

    // A second registration replaces the first.
    const FinishTaskCommand other{c.command.program + u".new", u"/resume /quiet"};
    ASSERT_EQ(registerFinishTask(other), 0) << c.what;
    ASSERT_EQ(readFinishTask(read), 0) << c.what;
    EXPECT_EQ(read.program, other.program) << c.what;
    EXPECT_EQ(read.arguments, other.arguments) << c.what;

    EXPECT_EQ(removeFinishTask(), 0) << c.what;
    EXPECT_EQ(readFinishTask(read), 2) << c.what;
    EXPECT_EQ(removeFinishTask(), 0) << c.what;  // none left: nothing to do
  }
}

}  // namespace
