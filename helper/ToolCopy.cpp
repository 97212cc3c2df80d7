// The tool's own copy in its data folder.
#include "helper/ToolCopy.h"

#include "log/LogSite.h"
#include "platform/FileReplace.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

namespace quillon {

std::u16string placeToolCopy(const AdminFolder& dataFolder) {
  if (dataFolder.state != AdminFolder::State::Ready) {
    const std::u16string message =
        dataFolder.state == AdminFolder::State::Refused
            ? formatText(u"Data Folder Refused(%s)", {dataFolder.path})
            : formatText(u"Data Folder Error(%d)", {dataFolder.error});
    WriteLog(logsite::ToolCopyFolderUnusable, message.c_str());
    return {};
  }
  const std::u16string running = executablePath();
  std::string program;
  if (running.empty() || !readWholeFile(toPath(running), program, Sharing::Shared, kToolCopyLimit) || program.empty()) {
    WriteLog(logsite::ToolCopyFailed, formatText(u"Tool Copy Read Failed(%s)", {running}).c_str());
    return {};
  }
  const std::u16string copy = pathText(toPath(dataFolder.path) / toPath(kToolCopyFileName));
  std::string existing;
  if (readPlainFile(copy, existing, kToolCopyLimit) && existing == program) return copy;
  if (const int error = replaceFileWhole(copy, program, FileUse::Program); error != 0) {
    WriteLog(logsite::ToolCopyFailed, formatText(u"Tool Copy Error(%d)", {error}).c_str());
    return {};
  }
  return copy;
}

}  // namespace quillon
