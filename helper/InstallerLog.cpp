#include "helper/InstallerLog.h"

#include "platform/CommandLine.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <boost/filesystem/operations.hpp>

namespace quillon {
namespace {

// Only administrators can write the folder, so a taken name is a leftover (a run of the same process id in
// the same second); a few other names are plenty.
constexpr unsigned kNamesTried = 8;

constexpr std::u16string_view kCutMark = u"...";

}  // namespace

std::u16string installerLogName(const LogTime& time, std::uint32_t processId, std::u16string_view step, unsigned run,
                                unsigned taken) {
  std::u16string name = formatText(u"%04d%02d%02d-%02d%02d%02d-%u-%s",
                                   {time.year, time.month, time.day, time.hour, time.minute, time.second,
                                    static_cast<unsigned long>(processId), step});
  if (run > 1) name += formatText(u"%u", {run});
  if (taken > 1) name += formatText(u"(%u)", {taken});
  return name + u".log";
}

std::u16string newInstallerLogFile(const std::u16string& folder, const LogTime& time, std::uint32_t processId,
                                   std::u16string_view step, unsigned run) {
  for (unsigned taken = 1; taken <= kNamesTried; ++taken) {
    const boost::filesystem::path file = toPath(folder) / toPath(installerLogName(time, processId, step, run, taken));
    boost::system::error_code error;
    // Anything but "nothing there" (an error reading the entry included) takes the name.
    if (boost::filesystem::symlink_status(file, error).type() == boost::filesystem::file_not_found) {
      return pathText(file);
    }
  }
  return {};
}

bool installerLogWritten(const std::u16string& file) {
  boost::system::error_code error;
  return !file.empty() && boost::filesystem::is_regular_file(boost::filesystem::symlink_status(toPath(file), error));
}

std::u16string withInstallerLog(const std::u16string& commandLine, std::u16string_view file) {
  if (file.empty()) return commandLine;
  return commandLine + u" /l*v " + quoteArgument(file);
}

std::u16string installerLogMessage(std::u16string_view file, std::size_t room) {
  constexpr std::u16string_view open = u"Installer Log(";
  constexpr std::u16string_view close = u")";
  const std::size_t fixed = open.size() + close.size();
  if (room < fixed + kCutMark.size()) return std::u16string(open.substr(0, room));
  if (file.size() > room - fixed) {
    // The end of the path, without half of a surrogate pair at its start.
    std::size_t start = file.size() - (room - fixed - kCutMark.size());
    if (start < file.size() && file[start] >= 0xDC00 && file[start] <= 0xDFFF) ++start;
    return std::u16string(open) + std::u16string(kCutMark) + std::u16string(file.substr(start)) + std::u16string(close);
  }
  return std::u16string(open) + std::u16string(file) + std::u16string(close);
}

std::u16string installerLogFolderMessage(const AdminFolder& folder) {
  if (folder.state == AdminFolder::State::Refused) {
    return formatText(u"Installer Log Folder Refused(%s)", {folder.path});
  }
  return formatText(u"Installer Log Folder Error(%d)", {folder.error});
}

}  // namespace quillon
