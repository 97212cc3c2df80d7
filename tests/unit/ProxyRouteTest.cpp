// The package's road from the user's Internet settings: the order of the steps, their fall-backs and what
// the log says of them, and the proxy lists of the platform and of configuration scripts.
#include "helper/ProxyRoute.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace {

std::vector<std::string> utf8(const std::vector<std::u16string>& texts) {
  std::vector<std::string> out;
  for (const std::u16string& text : texts) out.push_back(toUtf8(text));
  return out;
}

TEST(ProxyRoute, ProxyListsOfThePlatformAndOfScripts) {
  const struct {
    const char16_t* list;
    std::vector<std::string> entries;
  } cases[] = {
      {u"a:8080;b:8080", {"a:8080", "b:8080"}},
      {u" a:8080  b:8080 ", {"a:8080", "b:8080"}},
      {u"PROXY a:8080; PROXY b:8080; DIRECT", {"a:8080", "b:8080", ""}},
      {u"proxy a:8080;direct", {"a:8080", ""}},
      {u"HTTPS a:443; SOCKS s:1080; PROXY b:80", {"a:443", "b:80"}},
      {u"http=a:80;https=b:443;ftp=c:21;socks=d:1080", {"a:80", "b:443"}},
      {u"http://a:80/;https://b:443", {"a:80", "b:443"}},
      {u"DIRECT; PROXY a:8080", {""}},  // nothing is needed after the direct connection
      {u"", {}},
      {u" ; ;", {}},
      {u"PROXY", {}},
      {u"ftp://c:21", {}},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(utf8(parseProxyList(test.list)), test.entries) << toUtf8(test.list);
  }
}

TEST(ProxyRoute, TheStepsInTheBrowsersOrderEachFailureFallingBack) {
  constexpr unsigned long kNothingFound = 12180, kCannotConnect = 12029, kScriptError = 12166, kTimedOut = 12002,
                          kCancelled = 1223;
  struct Step {
    bool found;
    unsigned long error;
    const char16_t* list;
  };
  const Step none{false, kNothingFound, u""};
  const struct {
    const char* what;
    ProxySettings settings;
    Step detection, script;
    ProxySource source;
    std::vector<std::string> entries;
    std::vector<std::string> asked;  // the steps resolved, in order
    std::vector<std::pair<int, std::string>> notes;
    bool cancelled = false;
    bool keep = true;  // later tries may take the road without asking again
  } cases[] = {
      {"nothing set", {false, u"", u""}, none, none, ProxySource::Direct, {}, {}, {}},
      {"detection on, no WPAD: plain direct, said nowhere", {true, u"", u""}, none, none, ProxySource::Direct, {},
       {"detect"}, {}},
      {"detection finds a proxy: the script is not asked", {true, u"http://pac/x.pac", u"m:1"},
       {true, 0, u"w:8080"}, none, ProxySource::AutoDetect, {"w:8080"}, {"detect"},
       {{484, "Proxy(Auto-Detect: w:8080)"}}},
      {"detection finds a script that says direct", {true, u"", u""}, {true, 0, u""}, none,
       ProxySource::AutoDetect, {""}, {"detect"}, {{484, "Proxy(Auto-Detect: DIRECT)"}}},
      {"no WPAD, then the script's list", {true, u"http://pac/x.pac", u""}, none,
       {true, 0, u"a:8080;b:8080"}, ProxySource::Script, {"a:8080", "b:8080"}, {"detect", "script"},
       {{482, "Proxy Auto-Detect Error(12180)"}, {484, "Proxy(PAC: a:8080; b:8080)"}}},
      {"a script that fails falls back to the manual proxy", {false, u"http://pac/x.pac", u"m:3128"}, none,
       {false, kScriptError, u""}, ProxySource::Manual, {}, {"script"},
       {{483, "Proxy Script Error(12166)"}, {484, "Proxy(Manual: m:3128)"}}},
      {"every step fails: direct, each failure said", {true, u"http://pac/x.pac", u""},
       {false, kCannotConnect, u""}, {false, kScriptError, u""}, ProxySource::Direct, {}, {"detect", "script"},
       {{482, "Proxy Auto-Detect Error(12029)"}, {483, "Proxy Script Error(12166)"}}},
      {"only a manual proxy", {false, u"", u"http=m:80;https=m:443"}, none, none, ProxySource::Manual, {}, {},
       {{484, "Proxy(Manual: http=m:80;https=m:443)"}}},
      // A cancel stops the choice where it is: no line for it, no later step, no fall-back.
      {"a cancel during detection", {true, u"http://pac/x.pac", u"m:1"}, {false, kCancelled, u""},
       {true, 0, u"a:1"}, ProxySource::Direct, {}, {"detect"}, {}, true, false},
      {"a cancel during the script, after no WPAD", {true, u"http://pac/x.pac", u""}, none,
       {false, kCancelled, u""}, ProxySource::Direct, {}, {"detect", "script"}, {}, true, false},
      {"a cancel after a failed step keeps that step's line", {true, u"http://pac/x.pac", u"m:1"},
       {false, kCannotConnect, u""}, {false, kCancelled, u""}, ProxySource::Direct, {}, {"detect", "script"},
       {{482, "Proxy Auto-Detect Error(12029)"}}, true, false},
      // A step that ran out of time falls back, and the road is asked for again by the next try.
      {"detection timed out: the script's road, not kept", {true, u"http://pac/x.pac", u""},
       {false, kTimedOut, u""}, {true, 0, u"a:8080"}, ProxySource::Script, {"a:8080"}, {"detect", "script"},
       {{482, "Proxy Auto-Detect Error(12002)"}, {484, "Proxy(PAC: a:8080)"}}, false, false},
      {"the script timed out: direct, not kept", {false, u"http://pac/x.pac", u""}, none,
       {false, kTimedOut, u""}, ProxySource::Direct, {}, {"script"}, {{483, "Proxy Script Error(12002)"}}, false,
       false},
  };
  for (const auto& test : cases) {
    std::vector<std::string> asked;
    const ProxyRoad road = chooseProxyRoad(test.settings, [&](ProxySource source) {
      asked.push_back(source == ProxySource::AutoDetect ? "detect" : "script");
      const Step& step = source == ProxySource::AutoDetect ? test.detection : test.script;
      ProxyAnswer answer;
      answer.found = step.found;
      answer.error = step.error;
      answer.list = step.list;
      return answer;
    });
    EXPECT_EQ(road.source, test.source) << test.what;
    EXPECT_EQ(utf8(road.entries), test.entries) << test.what;
    EXPECT_EQ(asked, test.asked) << test.what;
    std::vector<std::pair<int, std::string>> notes;
    for (const ProxyNote& note : road.notes) notes.emplace_back(note.site->line, toUtf8(note.text));
    EXPECT_EQ(notes, test.notes) << test.what;
    EXPECT_EQ(road.cancelled, test.cancelled) << test.what;
    EXPECT_EQ(road.keep, test.keep) << test.what;
  }
}

TEST(ProxyRoute, OnlyAConnectionThatNeverReachedTheProxyMovesOn) {
  for (const unsigned long code : {12002ul, 12007ul, 12029ul, 12030ul, 10060ul}) EXPECT_TRUE(proxyConnectionFailed(code)) << code;
  // TLS and certificate failures, a server's closed connection after an answer began, anything else: the try's.
  for (const unsigned long code : {12152ul, 12175ul, 12044ul, 12031ul, 0ul}) EXPECT_FALSE(proxyConnectionFailed(code)) << code;
  EXPECT_EQ(toUtf8(proxyNextText(u"a:8080", u"WinHttpSendRequest Error(12029)", u"")),
            "Proxy Connection Failed(a:8080 WinHttpSendRequest Error(12029)) Next(DIRECT)");
}

}  // namespace
