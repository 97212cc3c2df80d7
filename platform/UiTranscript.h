// The UI transcript of the test and demo builds (platform/TestHooks.h; the product keeps none): when the
// environment variable QUILLON_UI_TRANSCRIPT names a file, every message box and the terms dialog append one
// JSON line to it, on both OSes:
//   {"kind":"box","caption":"...","text":"...","flags":48,"button":1}
//   {"kind":"dialog","caption":"...","text":"...","flags":0,"button":2}   (button: the end code)
#pragma once

#include <string>
#include <string_view>

namespace quillon {

void recordUi(std::string_view kind, std::u16string_view caption, std::u16string_view text, unsigned flags,
              int button);

// A text as a JSON string, quotes included (UTF-8, control characters escaped).
std::string jsonString(std::u16string_view text);

// One JSON line for the transcript (exposed for its tests).
std::string uiTranscriptLine(std::string_view kind, std::u16string_view caption, std::u16string_view text,
                             unsigned flags, int button);

}  // namespace quillon
