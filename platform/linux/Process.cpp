// Linux body of platform/Process.h: posix_spawn of the program found on PATH, then waitpid.
#include "platform/Process.h"

#include "platform/CommandLine.h"
#include "platform/Text.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillon {
namespace {

// Windows error codes for what can go wrong in starting a program.
int windowsError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return 2;  // ERROR_FILE_NOT_FOUND
    case EACCES:
    case EPERM:
      return 5;  // ERROR_ACCESS_DENIED
    case ENOEXEC:
      return 193;  // ERROR_BAD_EXE_FORMAT
    case ENOMEM:
    case EAGAIN:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case E2BIG:
    case ENAMETOOLONG:
      return 206;  // ERROR_FILENAME_EXCED_RANGE
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

bool isExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// posix_spawn attributes that reset SIGPIPE to its default in the child; destroyed on every path. A class of
// its own, not a ManagedResource: posix_spawnattr_t is a structure set up and destroyed in place, through its
// address, with no empty value to compare with.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attributes_);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

}  // namespace

std::u16string systemProgramPath(const char16_t* name) {
  // The first executable file of that name in the PATH folders (an empty entry is the current folder).
  const std::string file = toUtf8(name);
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + file;
    if (isExecutableFile(candidate)) return fromUtf8(candidate);
    start = end + 1;
  }
  return {};
}

ProcessRun runToCompletion(const std::u16string& programPath, const std::u16string& commandLine) {
  ProcessRun run;
  std::vector<std::string> arguments;
  for (const std::u16string& argument : splitCommandLine(commandLine)) arguments.push_back(toUtf8(argument));
  const std::string program = toUtf8(programPath);
  if (program.empty()) {
    run.failedAt = ProcessRun::Step::Start;
    run.error = 2;  // ERROR_FILE_NOT_FOUND, as CreateProcessW reports a program it cannot find
    return run;
  }

  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  // The tool ignores SIGPIPE for itself (Main.cpp); the installer gets the default back, as any program
  // started from a shell would.
  SpawnAttributes attributes;
  // The tool opens every file with close-on-exec, so the child inherits no handle but its standard ones.
  const int error = posix_spawn(&child, program.c_str(), nullptr, attributes.get(), argv.data(), environ);
  if (error != 0) {
    run.failedAt = ProcessRun::Step::Start;
    run.error = windowsError(error);
    return run;
  }

  int status = 0;
  pid_t waited;
  while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  if (waited < 0) {
    run.failedAt = ProcessRun::Step::Wait;
    run.error = windowsError(errno);
    return run;
  }
  // A child ended by a signal has no exit code of its own; like a process ended from outside on Windows
  // it counts as a failure with a non-zero code.
  run.exitCode = WIFEXITED(status) ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                                   : 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return run;
}

bool isExitCode(std::uint32_t exitCode, std::uint32_t code) { return exitCode == (code & 0xFFu); }

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(getpid()); }

void killCurrentProcess() {
  kill(getpid(), SIGKILL);
  std::abort();  // not reached: SIGKILL cannot be caught
}

}  // namespace quillon
