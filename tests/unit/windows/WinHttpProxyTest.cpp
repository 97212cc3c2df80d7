// The download's use of the user's proxy settings under Wine: the Internet Settings connection blob in
// HKEY_CURRENT_USER that WinHttpGetIEProxyConfigForCurrentUser reads. The distribution server plays the
// proxy: it serves absolute URLs and tunnels CONNECT, and its request log shows what went through it.
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"
#include "tests/unit/support/DistributionServer.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include <string>
#include <vector>

using namespace quillon;
using namespace testing_support;

namespace {

constexpr wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kSettings[] = L"DefaultConnectionSettings";

// The user's proxy settings, set for the scope and put back as they were afterwards.
class ScopedProxySettings {
 public:
  // flags: PROXY_TYPE_DIRECT 1, PROXY_TYPE_PROXY 2, PROXY_TYPE_AUTO_PROXY_URL 4, PROXY_TYPE_AUTO_DETECT 8.
  ScopedProxySettings(DWORD flags, const std::string& proxy, const std::string& bypass, const std::string& script) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    DWORD size = 0;
    if (RegQueryValueExW(key_, kSettings, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
      old_.resize(size);
      hadOld_ = RegQueryValueExW(key_, kSettings, nullptr, nullptr, old_.data(), &size) == ERROR_SUCCESS;
    }
    std::vector<BYTE> blob;
    const auto number = [&](DWORD value) {
      for (int i = 0; i < 4; ++i) blob.push_back(static_cast<BYTE>(value >> (8 * i)));
    };
    const auto text = [&](const std::string& value) {
      number(static_cast<DWORD>(value.size()));
      blob.insert(blob.end(), value.begin(), value.end());
    };
    number(0x46);  // the format's version
    number(1);     // a change counter
    number(flags);
    text(proxy);
    text(bypass);
    text(script);
    blob.resize(blob.size() + 32);  // the auto-detection data that follows, left empty
    RegSetValueExW(key_, kSettings, 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
  }
  ~ScopedProxySettings() {
    if (hadOld_) {
      RegSetValueExW(key_, kSettings, 0, REG_BINARY, old_.data(), static_cast<DWORD>(old_.size()));
    } else {
      RegDeleteValueW(key_, kSettings);
    }
    RegCloseKey(key_);
  }
  ScopedProxySettings(const ScopedProxySettings&) = delete;
  ScopedProxySettings& operator=(const ScopedProxySettings&) = delete;

 private:
  HKEY key_ = nullptr;
  std::vector<BYTE> old_;
  bool hadOld_ = false;
};

class WinHttpProxyTest : public DistributionServerTest {
 protected:
  TempDirectory temp;
  ServedFolder folder;
  std::u16string packagePath = folder.put("agent.msi", madeUpBytes(5000));
  std::u16string proxiedUrl = u"http://proxied.invalid" + packagePath;
  std::string proxy = "127.0.0.1:" + toUtf8(httpBase().substr(httpBase().rfind(u':') + 1));

  bool download(const std::u16string& url) const {
    return Helper::downloadFile(url.c_str(), pathText(temp.path() / "agent.msi").c_str());
  }
};

TEST_F(WinHttpProxyTest, AScriptThatDoesNotAnswerFallsBackToTheManualProxy) {
  // The distribution server serves absolute URLs too, so it can play the proxy for a host that does not exist.
  // Detection finds nothing here and the configuration script named beside it does not answer.
  ScopedProxySettings settings(2 | 4 | 8, proxy, "", "http://localhost:1/proxy.pac");
  EXPECT_TRUE(download(proxiedUrl));
  const std::vector<std::string> requests = requestsContaining(packagePath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].find("\"proxied\": true"), std::string::npos) << requests[0];
  EXPECT_NE(requests[0].find("proxied.invalid"), std::string::npos) << requests[0];
}

TEST_F(WinHttpProxyTest, TheBypassListSendsAHostPastTheProxy) {
  ScopedProxySettings settings(2, proxy, "*.invalid", "");
  EXPECT_FALSE(download(proxiedUrl));  // straight to a host that does not exist
  EXPECT_TRUE(download(httpBase() + packagePath));  // through the proxy still
}

TEST_F(WinHttpProxyTest, WithoutAManualProxyTheConnectionIsDirect) {
  ScopedProxySettings settings(1 | 8, "", "", "");
  EXPECT_FALSE(download(proxiedUrl));
  EXPECT_TRUE(download(httpBase() + packagePath));
}

TEST_F(WinHttpProxyTest, TheRoadOfTheUsersSettings) {
  // The log lines' texts, with {proxy} for the proxy's address.
  const std::u16string proxyText = fromUtf8(proxy);
  // Inside a tunnel WinHTTP writes the request line in absolute form (WinHTTP keeps a tunnel open for later
  // requests, so the tunnels themselves cannot be counted).
  const auto proxied = [&] {
    std::size_t count = 0;
    for (const std::string& line : requestsContaining(packagePath)) count += line.find("\"proxied\": true") != std::string::npos;
    return count;
  };
  const std::u16string throws = folder.put("throws.pac", "function FindProxyForURL(url, host) { throw 1; }");
  const auto pac = [&](const std::string& name, const std::string& answer) {
    return httpBase() + folder.put(name, "function FindProxyForURL(url, host) {\n  return \"" + answer + "\";\n}\n");
  };
  const std::u16string https = httpsBase() + packagePath;
  const std::u16string deadScript = u"http://127.0.0.1:1/proxy.pac";
  const struct {
    const char* what;
    DWORD flags;
    std::string manual;
    std::u16string script;
    std::u16string url;
    bool downloaded;
    std::size_t proxied;  // package requests that came through the proxy
    std::vector<std::u16string> log;
  } cases[] = {
      {"detection on, no WPAD: direct, nothing said", 1 | 8, "", u"", https, true, 0, {}},
      {"a script naming the proxy: the tunnel goes through it", 4, "", pac("one.pac", "PROXY " + proxy), https, true,
       1, {u"LINE:484 Proxy(PAC: {proxy})"}},
      {"no WPAD, then the script", 4 | 8, "", pac("one.pac", "PROXY " + proxy), https, true, 1,
       {u"LINE:482 Proxy Auto-Detect Error(12180)", u"LINE:484 Proxy(PAC: {proxy})"}},
      {"a script that says DIRECT", 4 | 2, proxy, pac("direct.pac", "DIRECT"), https, true, 0,
       {u"LINE:484 Proxy(PAC: DIRECT)"}},
      {"a script that does not answer: the manual proxy", 4 | 2, proxy, deadScript, https, true, 1,
       {u"LINE:483 Proxy Script Error(", u"LINE:484 Proxy(Manual: {proxy})"}},
      {"a script that throws: direct", 4, "", httpBase() + throws, https, true, 0, {u"LINE:483 Proxy Script Error("}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    TempDirectory logFolder;
    ScopedTempEnvironment logHere(logFolder.path());
    ScopedProxySettings settings(test.flags, test.manual, "", toUtf8(test.script));
    const std::size_t proxiedBefore = proxied();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(download(test.url), test.downloaded);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("%s: %lld ms\n", test.what, static_cast<long long>(took.count()));
    EXPECT_LT(took, std::chrono::seconds(8));
    EXPECT_EQ(proxied() - proxiedBefore, test.proxied);
    const std::vector<std::u16string> log = runLogEntries();
    ASSERT_EQ(log.size(), test.log.size()) << (log.empty() ? "" : toUtf8(log[0]));
    for (std::size_t i = 0; i < log.size(); ++i) {
      std::u16string wanted = test.log[i];
      const std::size_t at = wanted.find(u"{proxy}");
      if (at != std::u16string::npos) wanted.replace(at, 7, proxyText);
      EXPECT_NE(log[i].find(u"INFO FILE:Helper.cpp FUNCTION:Helper::downloadFile " + wanted), std::u16string::npos)
          << toUtf8(log[i]);
    }
  }
}

}  // namespace
