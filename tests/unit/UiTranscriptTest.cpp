#include "platform/UiTranscript.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

TEST(UiTranscript, OneJsonLinePerWindowWithEveryCharacterEscaped) {
  EXPECT_EQ(uiTranscriptLine("box", u"Quillon移行ツール", u"一行目\n\"二\"行目\\\t\r\x01", 48, 1),
            "{\"kind\":\"box\",\"caption\":\"Quillon移行ツール\",\"text\":\"一行目\\n\\\"二\\\"行目\\\\\\t\\r\\u0001\","
            "\"flags\":48,\"button\":1}\n");
  EXPECT_EQ(uiTranscriptLine("dialog", u"", u"\xFEFF", 0, 100),
            "{\"kind\":\"dialog\",\"caption\":\"\",\"text\":\"\xEF\xBB\xBF\",\"flags\":0,\"button\":100}\n");
}

}  // namespace
