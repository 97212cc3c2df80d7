// The AGENT_MSI_URL search against the two ECMAScript expressions it replaces: every case is checked against
// std::wregex as well, so the table cannot drift from what the expressions really do.
#include "helper/AgentMsiUrl.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <regex>
#include <string>

using quillon::findAgentMsiPath;

namespace {

// What the two searches give, the key expression on the script and the value expression on its match, with
// the apostrophes dropped. Only for short texts: std::regex recurses per character.
// The expressions are "AGENT_MSI_URL *= *'.+'" and "'.+'", their "." any character but LF and CR. libstdc++
// also keeps U+2028 and U+2029 out of "." (as JavaScript does), so the reference spells that class out.
std::optional<std::u16string> byRegex(const std::u16string& script) {
  static const std::wregex key(L"AGENT_MSI_URL *= *'[^\n\r]+'");
  static const std::wregex value(L"'[^\n\r]+'");
  const std::wstring text(script.begin(), script.end());
  std::wsmatch keyMatch;
  if (!std::regex_search(text, keyMatch, key)) return std::nullopt;
  const std::wstring assignment = keyMatch.str(0);
  std::wsmatch valueMatch;
  if (!std::regex_search(assignment, valueMatch, value)) return std::u16string(u"<no value match>");
  const std::wstring quoted = valueMatch.str(0);
  const std::wstring path = quoted.substr(1, quoted.size() - 2);
  return std::u16string(path.begin(), path.end());
}

std::optional<std::u16string> bySearch(const std::u16string& script) {
  const auto path = findAgentMsiPath(script);
  if (!path) return std::nullopt;
  return std::u16string(*path);
}

// The script for a failure message, with its line ends and tabs visible.
std::string printable(const std::u16string& script) {
  std::string text;
  for (const char c : quillon::toUtf8(script)) {
    switch (c) {
      case '\n': text += "\\n"; break;
      case '\r': text += "\\r"; break;
      case '\t': text += "\\t"; break;
      default: text += c;
    }
  }
  return text;
}

struct Case {
  const char* what;
  std::u16string script;
  std::optional<std::u16string> path;
};

const Case kCases[] = {
    // The documented worked examples.
    {"declaration", u"var AGENT_MSI_URL = '/dist/Windows/agent/Setup.msi';", u"/dist/Windows/agent/Setup.msi"},
    {"no spaces", u"AGENT_MSI_URL='/pkg/a.msi'", u"/pkg/a.msi"},
    {"two values on the line run to the last apostrophe", u"AGENT_MSI_URL = '/pkg/a.msi'; AGENT_VER = '2';",
     u"/pkg/a.msi'; AGENT_VER = '2"},
    {"a commented-out assignment above wins", u"// AGENT_MSI_URL = '/old/a.msi'\nAGENT_MSI_URL = '/new/b.msi'\n",
     u"/old/a.msi"},
    {"a relative path is taken as it is", u"AGENT_MSI_URL = 'pkg/a.msi'", u"pkg/a.msi"},
    {"double quotation marks", u"AGENT_MSI_URL = \"/pkg/a.msi\";", std::nullopt},
    {"a tab before =", u"AGENT_MSI_URL\t= '/pkg/a.msi'", std::nullopt},
    {"a tab after =", u"AGENT_MSI_URL =\t'/pkg/a.msi'", std::nullopt},
    {"a colon for =", u"AGENT_MSI_URL: '/pkg/a.msi'", std::nullopt},
    {"lower-case key", u"agent_msi_url = '/pkg/a.msi'", std::nullopt},
    {"mixed-case key", u"Agent_Msi_Url = '/pkg/a.msi'", std::nullopt},
    {"an empty value", u"AGENT_MSI_URL = ''", std::nullopt},
    {"the value across a line break", u"AGENT_MSI_URL = '/pkg/\na.msi'", std::nullopt},

    // Line ends and other characters.
    {"CR LF line ends", u"var x = 1;\r\nAGENT_MSI_URL = '/p/x.msi';\r\nvar y = 'z';\r\n", u"/p/x.msi"},
    {"LF line ends", u"var x = 1;\nAGENT_MSI_URL = '/p/x.msi';\nvar y = 'z';\n", u"/p/x.msi"},
    {"a lone CR ends the line", u"AGENT_MSI_URL = '/p/x.msi'\r'tail'", u"/p/x.msi"},
    {"U+2028 is an ordinary character", u"AGENT_MSI_URL = '/a\u2028b';'", u"/a\u2028b';"},
    {"U+2029 is an ordinary character", u"AGENT_MSI_URL = '/a\u2029b'", u"/a\u2029b"},
    {"characters outside the BMP", u"AGENT_MSI_URL = '/\U0001F600/\u30D1\u30C3\u30B1\u30FC\u30B8.msi'",
     u"/\U0001F600/\u30D1\u30C3\u30B1\u30FC\u30B8.msi"},
    {"a vertical tab is an ordinary character", u"AGENT_MSI_URL = '/a\vb'", u"/a\vb"},

    // Where the key stands and what surrounds it.
    {"a longer identifier ending in the key", u"MY_AGENT_MSI_URL = '/pkg/a.msi'", u"/pkg/a.msi"},
    {"a longer identifier starting with the key", u"AGENT_MSI_URL2 = '/pkg/a.msi'", std::nullopt},
    {"many spaces", u"AGENT_MSI_URL    =     '/pkg/a.msi'", u"/pkg/a.msi"},
    {"a single apostrophe as the value", u"AGENT_MSI_URL = '''", u"'"},
    {"one character", u"AGENT_MSI_URL = 'x'", u"x"},
    {"an apostrophe in a trailing comment", u"AGENT_MSI_URL = '/a.msi'; // don't", u"/a.msi'; // don"},
    {"no closing apostrophe, then a good line", u"AGENT_MSI_URL = '/a.msi\nAGENT_MSI_URL = '/b.msi'", u"/b.msi"},
    {"a key without a value, then a good one on the line", u"AGENT_MSI_URL; AGENT_MSI_URL = '/b.msi'", u"/b.msi"},
    {"a key in a string of another", u"var s = 'AGENT_MSI_URL = '; AGENT_MSI_URL = '/b.msi'",
     u"; AGENT_MSI_URL = '/b.msi"},
    {"the key split by a line break", u"AGENT_MSI_URL\n= '/pkg/a.msi'", std::nullopt},
    {"the text ends after =", u"AGENT_MSI_URL =", std::nullopt},
    {"the text ends after the key", u"AGENT_MSI_URL", std::nullopt},
    {"the text ends after the opening apostrophe", u"AGENT_MSI_URL = '", std::nullopt},
    {"an empty script", u"", std::nullopt},
    {"a script without the key", u"var AGENT_URL = '/pkg/a.msi';", std::nullopt},
};

TEST(AgentMsiUrl, GivesWhatTheExpressionsGive) {
  for (const Case& c : kCases) {
    EXPECT_EQ(bySearch(c.script), c.path) << c.what;
    EXPECT_EQ(byRegex(c.script), c.path) << c.what << " (the table disagrees with std::regex)";
  }
}

TEST(AgentMsiUrl, AgreesWithTheExpressionsOnRandomScripts) {
  // Scripts made of the pieces that matter, so that near-misses of every kind are frequent.
  const std::u16string pieces[] = {
      u"AGENT_MSI_URL = '", u"AGENT_MSI_URL='", u"AGENT_MSI_URL =", u"AGENT_MSI_URL", u"AGENT_MSI_UR", u"= '",
      u" ", u"  ", u"=", u"'", u"''", u"\n", u"\r", u"\t", u":", u"x", u"/p", u"\u2028", u"\"", u";"};
  std::mt19937 random(20240507);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> length(0, 10);
  int found = 0;
  for (int round = 0; round < 20000; ++round) {
    std::u16string script;
    for (int n = length(random); n > 0; --n) script += pieces[piece(random)];
    const auto expected = byRegex(script);
    ASSERT_EQ(bySearch(script), expected) << "script: " << printable(script);
    found += expected.has_value();
  }
  EXPECT_GT(found, 1000);  // the generator does reach the matching cases
}

TEST(AgentMsiUrl, FindsTheValueAtTheEndOfAMinifiedScriptOfManyMegabytes) {
  std::u16string script(30'000'000, u'x');
  for (std::size_t i = 0; i < script.size(); i += 100) script[i] = u';';
  script += u"AGENT_MSI_URL='/dist/a.msi';var z=1";
  const auto path = findAgentMsiPath(script);
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, u"/dist/a.msi");
}

TEST(AgentMsiUrl, StaysLinearOnLinesFullOfNearMisses) {
  // Keys without "=", and a key whose value never closes followed by a megabyte of line: a search that went
  // back over the line for every key would take hours here.
  std::u16string script;
  for (int i = 0; i < 500'000; ++i) script += u"AGENT_MSI_URL ";
  script += u"AGENT_MSI_URL = '";
  for (int i = 0; i < 500'000; ++i) script += u"AGENT_MSI_URL =  ";
  script += u"\nAGENT_MSI_URL = '/found.msi'";
  const auto path = findAgentMsiPath(script);
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, u"/found.msi");
}

}  // namespace
