// Linux body of platform/StringTable.h: the same catalogue as the Windows string table, from Messages.inc.
#include "platform/StringTable.h"

#include "platform/Text.h"
#include "res/resource.h"

#include <iterator>
#include <string_view>

namespace quillon {
namespace {

struct CatalogueEntry {
  unsigned id;
  std::u16string_view text;
};

constexpr CatalogueEntry kCatalogue[] = {
#define QUILLON_MESSAGE(id, text) {id, u"" text},
#include "res/Messages.inc"
#undef QUILLON_MESSAGE
};

}  // namespace

int loadString(unsigned id, char16_t* buffer, int capacity) {
  if (capacity <= 0) return 0;
  for (const CatalogueEntry& entry : kCatalogue) {
    if (entry.id == id) return static_cast<int>(copyText(buffer, static_cast<std::size_t>(capacity), entry.text));
  }
  buffer[0] = 0;
  return 0;
}

}  // namespace quillon
