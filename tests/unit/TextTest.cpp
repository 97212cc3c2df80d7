#include "platform/Text.h"

#include <gtest/gtest.h>

#include <climits>

using namespace quillon;

namespace {

struct FormatCase {
  std::u16string format;
  std::vector<FormatArg> args;
  std::u16string expected;
};

std::u16string formatWith(const FormatCase& c) {
  switch (c.args.size()) {
    case 0: return formatText(c.format, {});
    case 1: return formatText(c.format, {c.args[0]});
    case 2: return formatText(c.format, {c.args[0], c.args[1]});
    case 3: return formatText(c.format, {c.args[0], c.args[1], c.args[2]});
    default: return formatText(c.format, {c.args[0], c.args[1], c.args[2], c.args[3]});
  }
}

TEST(FormatText, ProducesTheConversionsTheToolsTextsUse) {
  const std::u16string name = u"アンインストール";
  const FormatCase cases[] = {
      {u"CreateMutex Error(%d)", {5}, u"CreateMutex Error(5)"},
      {u"ResponseCode =%d", {404}, u"ResponseCode =404"},
      {u"%04d/%02d/%02d", {2024, 5, 7}, u"2024/05/07"},
      {u"%02d:%02d", {0, 9}, u"00:09"},
      {u"%04d", {12345}, u"12345"},  // a width never cuts
      {u"LINE:%d", {-1}, u"LINE:-1"},
      {u"%03d", {-5}, u"-05"},
      {u"%d", {INT_MIN}, u"-2147483648"},
      {u"%u", {4294967295u}, u"4294967295"},
      {u"%s(V%d.%d.%d)", {name, 5, 1, 0}, u"アンインストール(V5.1.0)"},
      {u"%s", {u"100% done"}, u"100% done"},  // an argument is never interpreted
      {u"50%% of %s", {u"it"}, u"50% of it"},
      {u"%s and %s", {u"one"}, u"one and "},  // a missing argument gives nothing
      {u"[%d]", {u"text"}, u"[]"},            // so does one of the wrong kind
      {u"trailing %", {}, u"trailing "},
  };
  for (const FormatCase& c : cases) EXPECT_EQ(formatWith(c), c.expected) << toUtf8(c.format);
}

TEST(Utf8, RoundTripsEveryPlaneAndReplacesMalformedInput) {
  const std::u16string text = u"Quillon移行ツール \U0001F600 end";
  EXPECT_EQ(fromUtf8(toUtf8(text)), text);
  EXPECT_EQ(toUtf8(u"\xD800x"), "\xEF\xBF\xBDx");                       // a lone high surrogate
  EXPECT_EQ(fromUtf8("a\xC0\xAF" "b"), u"a\xFFFD" "b");                 // an overlong form
  EXPECT_EQ(fromUtf8("\xED\xA0\x80"), u"\xFFFD");                       // an encoded surrogate
  EXPECT_EQ(fromUtf8("\xE6\x97"), u"\xFFFD");                           // a cut-off sequence
}

TEST(Utf16Bytes, DecodeEitherByteOrderAsStoredAndDropAnOddLastByte) {
  using namespace std::string_literals;
  const struct {
    const char* what;
    std::string little, big;  // the text's bytes in each order
    std::u16string text;
  } cases[] = {
      {"empty", "", "", u""},
      {"ASCII and a NUL", "a\0\0\0b\0"s, "\0a\0\0\0b"s, u"a"s + u'\0' + u"b"},
      {"a byte-order mark is a character", "\xFF\xFE\x41\x30", "\xFE\xFF\x30\x41", u"\xFEFF\x3041"},
      {"a surrogate pair", "\x3D\xD8\x00\xDE"s, "\xD8\x3D\xDE\x00"s, u"\U0001F600"},
      {"an odd last byte dropped", "a\0b"s, "\0ab"s, u"a"},
      {"one byte only", "x", "x", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fromUtf16le(c.little), c.text) << c.what;
    EXPECT_EQ(fromUtf16be(c.big), c.text) << c.what;
    if (c.little.size() % 2 == 0) {
      EXPECT_EQ(toUtf16le(c.text), c.little) << c.what;
    }
  }
}

TEST(CopyText, CutsToTheBufferWithoutSplittingASurrogatePair) {
  char16_t buffer[5];
  EXPECT_EQ(copyText(buffer, 5, u"abcdef"), 4u);
  EXPECT_EQ(std::u16string(buffer), u"abcd");
  EXPECT_EQ(copyText(buffer, 5, u"abc\U0001F600"), 3u);  // the pair would straddle the limit
  EXPECT_EQ(std::u16string(buffer), u"abc");
  EXPECT_EQ(copyText(buffer, 5, u"ab\U0001F600"), 4u);
  EXPECT_EQ(std::u16string(buffer), u"ab\U0001F600");
  EXPECT_EQ(copyText(buffer, 1, u"abc"), 0u);
  EXPECT_EQ(buffer[0], 0);
}

}  // namespace
