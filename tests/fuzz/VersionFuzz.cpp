// The ProductVersion split and parse, against the C library's strtoll for the numbers.
#include "helper/Helper.h"
#include "tests/fuzz/FuzzInput.h"

#include <cerrno>
#include <climits>

using namespace quillon;
using namespace quillon::fuzz;

namespace {

// The text with each run of dots made one dot and the dots at both ends dropped: what joining the pieces
// with dots must give back.
std::u16string collapsedDots(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (c == u'.' && (out.empty() || out.back() == u'.')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == u'.') out.pop_back();
  return out;
}

// strtoll over the piece, as a C program would read it: a character that is not ASCII can be neither
// white space, sign nor digit, and stands for one that is none of them.
bool referenceNumber(std::u16string_view piece, int& number) {
  std::string narrow;
  for (const char16_t c : piece) narrow += (c > 0 && c < 0x80) ? static_cast<char>(c) : '\x01';
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(narrow.c_str(), &end, 10);
  if (end == narrow.c_str() || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
  number = static_cast<int>(value);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = textOf(data, size);

  const std::vector<std::u16string> pieces = Helper::splitVersion(text);
  std::u16string joined;
  for (const std::u16string& piece : pieces) {
    check(!piece.empty() && piece.find(u'.') == std::u16string::npos, "a piece is non-empty and holds no dot", text);
    if (!joined.empty()) joined += u'.';
    joined += piece;
  }
  check(joined == collapsedDots(text), "the pieces are the text between its dots, in order", text);

  constexpr int kUntouched = 0x5A5A5A5A;
  AgentVersion version{kUntouched, kUntouched, kUntouched};
  const bool parsed = Helper::parseVersion(text, version);
  int* const fields[] = {&version.major, &version.minor, &version.build};
  bool expected = pieces.size() >= 3;
  for (std::size_t i = 0; i < 3; ++i) {
    int number = 0;
    if (expected && referenceNumber(pieces[i], number)) {
      check(*fields[i] == number, "a field holds its piece's number", text);
      continue;
    }
    expected = false;
    check(*fields[i] == kUntouched, "a field after a failed piece is left alone", text);
  }
  check(parsed == expected, "the parse succeeds exactly when three pieces hold numbers", text);
  return 0;
}
