// UTF-16 text support shared by every layer. The tool's texts are UTF-16 on both builds (the log, the
// terms file and every limit count UTF-16 code units), so they are held as char16_t and converted only
// where a platform wants another form.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillon {

// UTF-8 <-> UTF-16. Malformed input (a lone surrogate, an invalid byte sequence) becomes U+FFFD, so a
// conversion never fails and never loses the rest of the text.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

// UTF-16LE bytes <-> UTF-16, as the tool's files hold their texts, and UTF-16BE bytes -> UTF-16. A
// byte-order mark is an ordinary character here; an odd last byte is dropped.
std::string toUtf16le(std::u16string_view text);
std::u16string fromUtf16le(std::string_view bytes);
std::u16string fromUtf16be(std::string_view bytes);

// True when every byte sequence of text is well-formed UTF-8 (no overlong form, surrogate or value past
// U+10FFFF, nothing cut off at the end).
bool isValidUtf8(std::string_view text);

// Copies text into a fixed buffer of `capacity` code units and terminates it: at most capacity - 1 units
// are taken, and a surrogate pair is never split. Returns the number of units copied.
std::size_t copyText(char16_t* buffer, std::size_t capacity, std::u16string_view text);

// The length of text cut to at most `limit` units without splitting a surrogate pair.
std::size_t cutLength(std::u16string_view text, std::size_t limit);

// True when the texts are equal once A-Z are taken as a-z; no other character is folded.
bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// The text without the spaces and tabs around it (as around an HTTP header's value).
std::u16string_view trimBlanks(std::u16string_view text);

// One argument of formatText: an integer or a text.
class FormatArg {
 public:
  FormatArg(int value) : number_(value) {}
  FormatArg(unsigned value) : number_(value) {}
  FormatArg(long value) : number_(value) {}
  FormatArg(unsigned long value) : number_(static_cast<long long>(value)) {}
  FormatArg(const char16_t* value) : text_(value ? value : u""), isText_(true) {}
  FormatArg(const std::u16string& value) : text_(value), isText_(true) {}
  FormatArg(std::u16string_view value) : text_(value), isText_(true) {}

  bool isText() const { return isText_; }
  long long number() const { return number_; }
  std::u16string_view text() const { return text_; }

 private:
  long long number_ = 0;
  std::u16string_view text_;
  bool isText_ = false;
};

// printf-style formatting of the few conversions the tool's fixed texts use, identically on both builds:
// %s (a text), %d and %u (decimal, with an optional 0 flag and width, as in %04d), and %%. The result grows
// as needed, so nothing is ever cut here; callers with a fixed limit cut explicitly. A conversion without a
// matching argument, or of the wrong kind, produces nothing.
std::u16string formatText(std::u16string_view format, std::initializer_list<FormatArg> args);

}  // namespace quillon
