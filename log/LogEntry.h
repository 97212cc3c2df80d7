// Composing one run-log entry, the part of the log that is the same on every platform.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

struct LogTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The limits of one entry, in UTF-16 code units without the terminator.
inline constexpr std::size_t kLogMessageLimit = 255;
inline constexpr std::size_t kLogEntryLimit = 255;  // the final line feed included, before it becomes CR LF

// The entry with its final line feed. A message past its limit is cut; an entry past its limit is cut
// before its final line feed, which is always kept, so that an over-long entry never runs into the next.
std::u16string composeLogEntry(const LogTime& time, std::u16string_view level, std::u16string_view sourceFile,
                               std::u16string_view function, int line, std::u16string_view message);

// The bytes that append `entry` to the run log: UTF-16LE, the byte-order mark first when the file is still
// empty, and every line feed as carriage return and line feed.
std::string runLogBytes(std::u16string_view entry, bool fileIsEmpty);

}  // namespace quillon
