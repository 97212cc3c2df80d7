// The platform-neutral part of log/RunLogFile.h.
#include "log/RunLogFile.h"

namespace quillon {

namespace {

std::u16string& fileName() {
  static std::u16string name = kRunLogFileName;
  return name;
}

}  // namespace

void setRunLogFileName(std::u16string_view name) { fileName() = name; }

const std::u16string& runLogFileName() { return fileName(); }

void RunLogFile::append(std::u16string_view entry) {
  if (isOpen()) write(runLogBytes(entry, isEmpty()));
}

}  // namespace quillon
