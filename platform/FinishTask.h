// The task that finishes an interrupted replacement with no user at the keyboard: \QuillonMigrationTool\Finish,
// run as SYSTEM at the next start of Windows. It runs the tool's own copy in its data folder (never the kit's
// folder or %TEMP%) with the finishing step's switch.
#pragma once

#include <string>

namespace quillon {

inline constexpr const char16_t kFinishTaskFolder[] = u"\\QuillonMigrationTool";
inline constexpr const char16_t kFinishTaskName[] = u"Finish";

// What a registered task runs, as its definition holds it.
struct FinishTaskCommand {
  std::u16string program;    // full path
  std::u16string arguments;  // such as u"/resume"
};

// Registers the task (replacing one of that name): account SYSTEM, highest rights, a boot trigger and a
// logon trigger (platform/windows/FinishTaskDefinition.h says why), started also on battery, stopped only
// after 2 hours, far beyond a long install. Windows: Task Scheduler's COM interface (ITaskService); a
// scheduler that cannot make such a task answers with its HRESULT (Wine's: E_NOTIMPL, it has neither boot
// nor logon triggers) and nothing is registered. Linux stand-in: a task file in the folder that
// QUILLON_TASK_FOLDER names, which the tests and the demo "boot" by running its command (EINVAL for a
// program or arguments with a line end). Returns 0, or the HRESULT / error code of the failed step.
int registerFinishTask(const FinishTaskCommand& command);

// Removes the task, and its folder when that is then empty. Returns 0, also when there was none.
int removeFinishTask();

// Reads the registered task's command back from where the system keeps the definition (Windows: the
// registered task's definition, through the service; Linux: the task file). Returns 0 with the command; 2
// when there is no such task; another error code when it cannot be read (a task file that is not one of the
// tool's: EBADMSG).
int readFinishTask(FinishTaskCommand& command);

}  // namespace quillon
