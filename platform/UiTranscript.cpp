#include "platform/UiTranscript.h"

#include "platform/Paths.h"
#include "platform/TestHooks.h"
#include "platform/Text.h"

#include <boost/filesystem/fstream.hpp>

#include <cstdio>

namespace quillon {

std::string jsonString(std::u16string_view text) {
  std::string out = "\"";
  for (const char c : toUtf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string uiTranscriptLine(std::string_view kind, std::u16string_view caption, std::u16string_view text,
                             unsigned flags, int button) {
  std::string line = "{\"kind\":\"" + std::string(kind) + "\",\"caption\":" + jsonString(caption);
  line += ",\"text\":" + jsonString(text);
  line += ",\"flags\":" + std::to_string(flags) + ",\"button\":" + std::to_string(button) + "}\n";
  return line;
}

void recordUi(std::string_view kind, std::u16string_view caption, std::u16string_view text, unsigned flags,
              int button) {
  const std::u16string file = uiTranscriptFile();
  if (file.empty()) return;
  boost::filesystem::ofstream stream(toPath(file), std::ios::binary | std::ios::app);
  const std::string line = uiTranscriptLine(kind, caption, text, flags, button);
  stream.write(line.data(), static_cast<std::streamsize>(line.size()));
}

}  // namespace quillon
