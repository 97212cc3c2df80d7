// Running a program to its end: the Windows Installer runs of the tool. The command line's first argument
// names the program, found by the system's usual search (Windows: CreateProcessW without an application
// name; Linux: the first file of that name on PATH, started without a shell, its arguments split as
// platform/CommandLine.h says). The child inherits the environment, the current folder and no handles.
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

// Starts the command line and waits for the child without a time limit.
ProcessRun runToCompletion(const std::u16string& commandLine);

// Whether a child's exit code (ProcessRun::exitCode) is the code `code` that the child reported. Windows keeps
// all 32 bits; a Linux exit status keeps only the low byte, so there 3010 arrives as 194.
bool isExitCode(std::uint32_t exitCode, std::uint32_t code);

}  // namespace quillon
