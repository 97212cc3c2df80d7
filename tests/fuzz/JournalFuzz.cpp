// The journal's reader: whatever bytes lie at the journal's place, a journal is read from them only when they
// are exactly what the writer writes for it, so writing what was read gives the same bytes back.
#include "helper/Journal.h"
#include "tests/fuzz/FuzzInput.h"

#include <string>

using namespace quillon;
using namespace quillon::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ReplacementJournal journal;
  if (parseJournal(bytes, journal) != JournalDefect::None) return 0;
  const std::optional<std::string> written = formatJournal(journal);
  check(written.has_value(), "a journal read can be written");
  check(*written == bytes, "a journal read is byte for byte what its writer writes");
  return 0;
}
