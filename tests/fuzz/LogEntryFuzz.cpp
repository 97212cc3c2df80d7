// One run-log entry from any time, line and texts: at most the entry limit with its line feed, which is
// always last, and otherwise exactly the start of the entry written out in full (numbers as printf writes
// them), cut only where the limit falls and never inside a surrogate pair.
#include "log/LogEntry.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstring>

using namespace quillon;
using namespace quillon::fuzz;

namespace {

std::u16string printed(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return std::u16string(text, text + std::strlen(text));
}

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first 28 bytes are the six time fields and the line number; the rest are the four texts.
  int numbers[7] = {};
  const std::size_t numberBytes = size < sizeof numbers ? size : sizeof numbers;
  std::memcpy(numbers, data, numberBytes);
  const std::vector<std::u16string> texts = fieldsOf(data + numberBytes, size - numberBytes, 4);
  const LogTime time{numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5]};
  const int line = numbers[6];

  const std::u16string entry = composeLogEntry(time, texts[0], texts[1], texts[2], line, texts[3]);

  const std::u16string full = printed("%04d", time.year) + u"/" + printed("%02d", time.month) + u"/" +
                              printed("%02d", time.day) + u" " + printed("%02d", time.hour) + u":" +
                              printed("%02d", time.minute) + u":" + printed("%02d", time.second) + u" " + texts[0] +
                              u" FILE:" + texts[1] + u" FUNCTION:" + texts[2] + u" LINE:" + printed("%d", line) +
                              u" " + texts[3];
  check(!entry.empty() && entry.back() == u'\n', "the entry ends with its line feed", full);
  check(entry.size() <= kLogEntryLimit, "the entry keeps its limit", full);
  const std::u16string_view body = std::u16string_view(entry).substr(0, entry.size() - 1);
  check(full.compare(0, body.size(), body) == 0, "the entry is the start of the whole entry", full);
  if (full.size() <= kLogEntryLimit - 1) {
    check(body.size() == full.size(), "an entry within the limit is whole", full);
  } else {
    const bool pairAtCut = isHigh(full[kLogEntryLimit - 2]) && isLow(full[kLogEntryLimit - 1]);
    check(body.size() == kLogEntryLimit - (pairAtCut ? 2 : 1), "a long entry is cut at the limit, a pair kept whole",
          full);
  }
  return 0;
}
