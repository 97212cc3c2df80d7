// Running a program to its end: the Windows Installer runs of the tool. The program is named by its full
// path: the tool runs elevated, and a search for it would look first in folders its users can write (the
// tool's own, the current one). Its command line is passed as it is (Linux: split into arguments as
// platform/CommandLine.h says, started without a shell). The child inherits the environment, the current
// folder and no handles.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

struct ProcessRun {
  enum class Step { Done, Start, Wait, ExitCode };
  Step failedAt = Step::Done;  // Done: the child ran and exitCode holds its exit code
  int error = 0;               // the Windows error code of the failed step (2: the program was not found)
  std::uint32_t exitCode = 0;
};

// Where the system's own program `name` is. Windows: the system folder (for a 32-bit process on 64-bit
// Windows that is SysWOW64's program, as the system redirects it). Linux, where the stand-ins are
// installed: the first executable file of that name on PATH. Empty when there is none.
std::u16string systemProgramPath(const char16_t* name);

// Starts `program` with the command line (whose first argument names the program, as the child sees it) and
// waits for the child without a time limit. An empty `program` is a program not found (error 2).
ProcessRun runToCompletion(const std::u16string& program, const std::u16string& commandLine);

// Whether a child's exit code (ProcessRun::exitCode) is the code `code` that the child reported. Windows keeps
// all 32 bits; a Linux exit status keeps only the low byte, so there 3010 arrives as 194.
bool isExitCode(std::uint32_t exitCode, std::uint32_t code);

// Ends the running process at once, with nothing of its own run on the way out, as the system ends a process
// it kills (Windows: TerminateProcess; Linux: SIGKILL).
[[noreturn]] void killCurrentProcess();

// The running process's id, as the system lists it.
std::uint32_t currentProcessId();

}  // namespace quillon
