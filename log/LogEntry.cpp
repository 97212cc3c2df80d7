#include "log/LogEntry.h"

#include "platform/Text.h"

namespace quillon {

std::u16string composeLogEntry(const LogTime& time, std::u16string_view level, std::u16string_view sourceFile,
                               std::u16string_view function, int line, std::u16string_view message) {
  message = message.substr(0, cutLength(message, kLogMessageLimit));
  std::u16string entry = formatText(u"%04d/%02d/%02d %02d:%02d:%02d %s FILE:%s FUNCTION:%s LINE:%d %s",
                                    {time.year, time.month, time.day, time.hour, time.minute, time.second, level,
                                     sourceFile, function, line, message});
  entry.resize(cutLength(entry, kLogEntryLimit - 1));
  entry += u'\n';
  return entry;
}

std::string runLogBytes(std::u16string_view entry, bool fileIsEmpty) {
  std::u16string text = fileIsEmpty ? u"\uFEFF" : u"";
  for (const char16_t unit : entry) {
    if (unit == u'\n') text += u'\r';
    text += unit;
  }
  return toUtf16le(text);
}

}  // namespace quillon
