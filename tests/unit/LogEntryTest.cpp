#include "log/LogEntry.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

constexpr LogTime kMay7 = {2024, 5, 7, 9, 3, 1};

struct EntryCase {
  const char* what;
  LogTime time;
  int line;
  std::u16string message;
  std::u16string expected;
};

TEST(LogEntry, HasTheFixedFormat) {
  const std::u16string prefix = u"ERROR FILE:Helper.cpp FUNCTION:Helper::isAlreadyRunning ";
  const EntryCase cases[] = {
      {"worked example", kMay7, 428, u"CreateMutex Error(5)",
       u"2024/05/07 09:03:01 " + prefix + u"LINE:428 CreateMutex Error(5)\n"},
      {"midnight", {2024, 12, 31, 0, 0, 0}, 48, u"x", u"2024/12/31 00:00:00 " + prefix + u"LINE:48 x\n"},
      {"negative line", kMay7, -7, u"x", u"2024/05/07 09:03:01 " + prefix + u"LINE:-7 x\n"},
      {"empty message keeps its blank", kMay7, 97, u"", u"2024/05/07 09:03:01 " + prefix + u"LINE:97 \n"},
      {"per-cent sign", kMay7, 1, u"100%", u"2024/05/07 09:03:01 " + prefix + u"LINE:1 100%\n"},
      {"line feed inside", kMay7, 1, u"a\nb", u"2024/05/07 09:03:01 " + prefix + u"LINE:1 a\nb\n"},
  };
  for (const EntryCase& c : cases) {
    EXPECT_EQ(composeLogEntry(c.time, u"ERROR", u"Helper.cpp", u"Helper::isAlreadyRunning", c.line, c.message),
              c.expected)
        << c.what;
  }
}

std::u16string entryWith(const std::u16string& message) {
  return composeLogEntry(kMay7, u"INFO", u"MigrationTool.cpp", u"CMigrationToolApp::InitInstance", 99, message);
}

TEST(LogEntry, KeepsTheLimitAndItsLineEnd) {
  const std::size_t prefixLength = entryWith(u"").size() - 1;  // without the line feed

  // An entry that just fits stays whole.
  const std::u16string fits(kLogEntryLimit - 1 - prefixLength, u'a');
  EXPECT_EQ(entryWith(fits), entryWith(u"").substr(0, prefixLength) + fits + u"\n");

  // Longer ones are cut to the limit, line feed included and kept last.
  for (const std::size_t length : {kLogEntryLimit - prefixLength, std::size_t{255}, std::size_t{256}, std::size_t{5000}}) {
    const std::u16string entry = entryWith(std::u16string(length, u'b'));
    EXPECT_EQ(entry.size(), kLogEntryLimit) << length;
    EXPECT_EQ(entry.back(), u'\n') << length;
    EXPECT_EQ(entry.find(u'\n'), entry.size() - 1) << length;
  }

  // A surrogate pair at the cut is dropped whole rather than split.
  std::u16string message(kLogEntryLimit - 2 - prefixLength, u'c');
  message += u"\U0001F600";
  const std::u16string entry = entryWith(message);
  EXPECT_EQ(entry.size(), kLogEntryLimit - 1);
  EXPECT_EQ(entry[entry.size() - 2], u'c');
}

}  // namespace
