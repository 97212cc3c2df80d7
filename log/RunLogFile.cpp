// The platform-neutral part of log/RunLogFile.h.
#include "log/RunLogFile.h"

namespace quillon {

void RunLogFile::append(std::u16string_view entry) {
  if (isOpen()) write(runLogBytes(entry, isEmpty()));
}

}  // namespace quillon
