// Linux stand-in for platform/FinishTask.h, which Linux has no Task Scheduler for: the task is a small text
// file, <QUILLON_TASK_FOLDER>/QuillonMigrationTool/Finish, written durably (platform/DurableFile.h), one
// "key=value" line each for what the Windows definition holds:
//   triggers=boot,logon
//   account=SYSTEM
//   runLevel=highest
//   program=/full/path/of/the/tool
//   arguments=/resume
// Nothing on Linux runs it: the tests and the demo "start the machine" by running its program with its
// arguments, split by the Windows rules (platform/CommandLine.h), as Task Scheduler would start it.
#include "platform/FinishTask.h"

#include "platform/DurableFile.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

constexpr char kProgramKey[] = "program=";
constexpr char kArgumentsKey[] = "arguments=";

// The task folder's path, and the task file's in it; ENOENT when QUILLON_TASK_FOLDER is not set.
int taskPaths(std::string& folder, std::string& file) {
  const char* base = std::getenv("QUILLON_TASK_FOLDER");
  if (base == nullptr || *base == 0) return ENOENT;
  // The names as Windows spells them, without the leading backslash.
  folder = std::string(base) + "/" + toUtf8(std::u16string_view(kFinishTaskFolder).substr(1));
  file = folder + "/" + toUtf8(kFinishTaskName);
  return 0;
}

bool holdsLineEnd(const std::u16string& text) { return text.find_first_of(u"\r\n") != std::u16string::npos; }

}  // namespace

int registerFinishTask(const FinishTaskCommand& command) {
  // One line per value: a line end inside one would make another line of the file.
  if (command.program.empty() || holdsLineEnd(command.program) || holdsLineEnd(command.arguments)) return EINVAL;
  std::string folder, file;
  if (const int error = taskPaths(folder, file)) return error;
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  const std::string text = std::string("triggers=boot,logon\naccount=SYSTEM\nrunLevel=highest\n") + kProgramKey +
                           toUtf8(command.program) + "\n" + kArgumentsKey + toUtf8(command.arguments) + "\n";
  return replaceFileDurably(fromUtf8(file), text);
}

int removeFinishTask() {
  std::string folder, file;
  if (const int error = taskPaths(folder, file)) return error == ENOENT ? 0 : error;
  if (const int error = removeFileDurably(fromUtf8(file))) return error;
  // The folder goes when nothing else is in it.
  if (rmdir(folder.c_str()) != 0 && errno != ENOENT && errno != ENOTEMPTY && errno != EEXIST) return errno;
  return 0;
}

int readFinishTask(FinishTaskCommand& command) {
  std::string folder, file;
  if (taskPaths(folder, file) != 0) return 2;
  std::string text;
  if (!readWholeFile(file, text, Sharing::Shared)) {
    struct stat info;
    return lstat(file.c_str(), &info) != 0 && errno == ENOENT ? 2 : EIO;
  }
  FinishTaskCommand found;
  bool hasProgram = false, hasArguments = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    if (line.substr(0, sizeof(kProgramKey) - 1) == kProgramKey) {
      found.program = fromUtf8(line.substr(sizeof(kProgramKey) - 1));
      hasProgram = true;
    } else if (line.substr(0, sizeof(kArgumentsKey) - 1) == kArgumentsKey) {
      found.arguments = fromUtf8(line.substr(sizeof(kArgumentsKey) - 1));
      hasArguments = true;
    }
    start = end + 1;
  }
  if (!hasProgram || !hasArguments || found.program.empty()) return EBADMSG;
  command = std::move(found);
  return 0;
}

}  // namespace quillon
