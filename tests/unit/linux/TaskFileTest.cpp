// The Linux stand-in's task file: what it says (the triggers, the account, the command, as the tests and
// the demo "boot" it), who may read it, and what a file that is not one of its own gives back.
#include "platform/FinishTask.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <cerrno>

using namespace quillon;
using namespace testing_support;

namespace {

TEST(TaskFile, HoldsTheTriggersTheAccountAndTheCommand) {
  TempDirectory temp;
  ScopedEnvironment folder("QUILLON_TASK_FOLDER", temp.path().string());
  ASSERT_EQ(registerFinishTask({u"/var/lib/quillon/Migration Tool", u"/resume"}), 0);
  const fs::path file = temp.path() / "QuillonMigrationTool" / "Finish";
  EXPECT_EQ(readBytes(file),
            "triggers=boot,logon\naccount=SYSTEM\nrunLevel=highest\nprogram=/var/lib/quillon/Migration Tool\n"
            "arguments=/resume\n");
  EXPECT_EQ(fileRights(file), "600");
  ASSERT_EQ(removeFinishTask(), 0);
  EXPECT_FALSE(fs::exists(temp.path() / "QuillonMigrationTool"));
}

TEST(TaskFile, RefusesWhatItCannotHoldAndReadsNoCommandFromAForeignFile) {
  TempDirectory temp;
  ScopedEnvironment folder("QUILLON_TASK_FOLDER", temp.path().string());
  const struct {
    const char* what;
    FinishTaskCommand command;
  } refused[] = {
      {"no program", {u"", u"/resume"}},
      {"a line end in the program", {u"/bin/true\nprogram=/bin/evil", u"/resume"}},
      {"a line end in the arguments", {u"/bin/true", u"/resume\r\nprogram=/bin/evil"}},
  };
  for (const auto& c : refused) EXPECT_EQ(registerFinishTask(c.command), EINVAL) << c.what;

  const fs::path file = temp.path() / "QuillonMigrationTool" / "Finish";
  fs::create_directories(file.parent_path());
  const struct {
    const char* what;
    std::string text;
  } foreign[] = {
      {"empty", ""},
      {"no program", "triggers=boot,logon\narguments=/resume\n"},
      {"no arguments", "program=/bin/true\n"},
      {"an empty program", "program=\narguments=/resume\n"},
  };
  for (const auto& c : foreign) {
    writeBytes(file, c.text);
    FinishTaskCommand command{u"untouched", u"untouched"};
    EXPECT_EQ(readFinishTask(command), EBADMSG) << c.what;
    EXPECT_EQ(command.program, u"untouched") << c.what;
  }
  EXPECT_EQ(removeFinishTask(), 0);
}

}  // namespace
