// The announced body length: a number exactly when the text is one or more ASCII digits whose value fits
// 64 bits, and then that value (checked with 128-bit arithmetic).
#include "helper/ContentLength.h"
#include "tests/fuzz/FuzzInput.h"

using namespace quillon;
using namespace quillon::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = textOf(data, size);
  const std::optional<std::uint64_t> length = parseContentLength(text);

  bool digits = !text.empty();
  unsigned __int128 value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') {
      digits = false;
      break;
    }
    if (value <= UINT64_MAX) value = value * 10 + (c - u'0');  // past 64 bits it only has to stay past
  }
  const bool fits = digits && value <= UINT64_MAX;
  check(length.has_value() == fits, fits ? "a length is refused" : "a non-length is taken", text);
  if (fits) check(*length == static_cast<std::uint64_t>(value), "the length is the digits' value", text);
  return 0;
}
