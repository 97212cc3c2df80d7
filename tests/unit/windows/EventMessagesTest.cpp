// The event texts as Event Viewer reads them: the message table in MigrationTool.exe's resources, loaded as a
// data file and formatted by FormatMessageW, one text per event ID, byte for byte res/Events.inc's.
#include "helper/RunEventTable.h"
#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

struct SourceEvent {
  unsigned status;
  std::u16string text;
};

#define QUILLON_EVENT_DETAILS(text) const std::u16string kDetails = u"" text;
#define QUILLON_EVENT(status, type, text)
#include "res/Events.inc"
#undef QUILLON_EVENT
#undef QUILLON_EVENT_DETAILS

const SourceEvent kSource[] = {
#define QUILLON_EVENT_DETAILS(text)
#define QUILLON_EVENT(status, type, text) {status, u"" text},
#include "res/Events.inc"
#undef QUILLON_EVENT
#undef QUILLON_EVENT_DETAILS
};

// The text with %n as a line break and %1 to %5 given, as Event Viewer shows it.
std::u16string shown(std::u16string text, const std::u16string (&strings)[5]) {
  for (std::size_t at = 0; (at = text.find(u'%', at)) != std::u16string::npos;) {
    const char16_t next = text[at + 1];
    const std::u16string by = next == u'n' ? std::u16string(u"\r\n") : strings[next - u'1'];
    text.replace(at, 2, by);
    at += by.size();
  }
  return text;
}

void freeLibrary(HMODULE module) { FreeLibrary(module); }
using ManagedModule = ManagedResource<HMODULE, freeLibrary>;

TEST(EventMessages, EveryEventIdHasItsTextInTheExecutablesMessageTable) {
  const ManagedModule exe(LoadLibraryExW(QUILLON_TOOL_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_NE(exe.get(), nullptr) << GetLastError();
  const std::u16string strings[5] = {u"5.1.0", u"6.0.0", u"https://quillon.example.jp",
                                     u"C:\\Windows\\Temp\\QuillonMigrationTool.log",
                                     u"C:\\Windows\\Logs\\Software\\QuillonMigrationTool"};
  DWORD_PTR arguments[5];
  for (int i = 0; i < 5; ++i) arguments[i] = reinterpret_cast<DWORD_PTR>(strings[i].c_str());
  ASSERT_EQ(std::size(kSource), std::size(kRunEvents));
  for (const SourceEvent& event : kSource) {
    SCOPED_TRACE(event.status);
    wchar_t buffer[2048];
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe.get(), kRunEventIdBase + event.status,
                       MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), buffer, 2048, reinterpret_cast<va_list*>(arguments));
    ASSERT_NE(length, 0u) << GetLastError();
    // The message compiler ends each message with the line break of its source line.
    EXPECT_EQ(toUtf8(fromWide(std::wstring_view(buffer, length))), toUtf8(shown(event.text + kDetails, strings) + u"\r\n"));
  }
  // No text for a status the list lacks.
  wchar_t buffer[64];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, exe.get(), kRunEventIdBase + 99,
                           0, buffer, 64, nullptr),
            0u);
}

}  // namespace
