// The download's use of the user's proxy settings under Wine: the Internet Settings connection blob in
// HKEY_CURRENT_USER that WinHttpGetIEProxyConfigForCurrentUser reads.
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"
#include "tests/unit/support/DistributionServer.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

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

TEST_F(WinHttpProxyTest, AManualProxyIsUsedAndAutomaticSettingsBesideItAreNot) {
  // The distribution server serves absolute URLs too, so it can play the proxy for a host that does not exist.
  // The configuration script named beside it does not exist: were it used, the download would fail.
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

}  // namespace
