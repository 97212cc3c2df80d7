// What the Linux stand-in of WinHTTP and XMLHTTP takes from its environment: the CAs it trusts, the proxy the
// user has set by hand, and the redirects it refuses.
#include "helper/Helper.h"
#include "helper/ServerAccess.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/DistributionServer.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quillon;
using namespace testing_support;

namespace {

class CurlRequestTest : public DistributionServerTest {
 protected:
  TempDirectory temp;
  ScopedTempEnvironment tempEnvironment{temp.path()};
  ServedFolder folder;
  std::u16string target = pathText(temp.path() / "agent.msi");
  std::u16string packagePath = folder.put("agent.msi", madeUpBytes(5000));
  std::u16string scriptPath = folder.put("config.js", "AGENT_MSI_URL = '/p/x.msi'");

  bool download(const std::u16string& url) const { return Helper::downloadFile(url.c_str(), target.c_str()); }
  static bool lookUp(const std::u16string& url) {
    char16_t buffer[kPackageUrlCapacity];
    return lookUpPackageUrl(url.c_str(), u"", buffer);
  }
  static std::string otherCa() { return std::getenv("QUILLON_TEST_OTHER_CA"); }
};

TEST_F(CurlRequestTest, TrustsTheCasNamedByTheOpenSslVariablesAndVerifiesCertificates) {
  EXPECT_TRUE(download(httpsBase() + packagePath));
  EXPECT_TRUE(lookUp(httpsBase() + scriptPath));
  {
    // A CA that did not sign the server's certificate.
    ScopedEnvironment untrusted("SSL_CERT_FILE", otherCa());
    EXPECT_FALSE(download(httpsBase() + packagePath));
    EXPECT_FALSE(lookUp(httpsBase() + scriptPath));
    const std::vector<std::u16string> log = runLogEntries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find(u"LINE:448 curl Error(60) "), std::u16string::npos) << toUtf8(log[0]);
  }
}

TEST_F(CurlRequestTest, UsesTheProxyFromTheEnvironmentAndItsExceptions) {
  // The distribution server serves absolute URLs too, so it can play the proxy for a host that does not exist.
  const std::u16string url = u"http://proxied.invalid" + packagePath;
  {
    ScopedEnvironment proxy("http_proxy", toUtf8(httpBase()));
    EXPECT_TRUE(download(url));
    const std::vector<std::string> requests = requestsContaining(u"proxied.invalid" + packagePath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("\"proxied\": true"), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("\"Cache-Control\": \"no-cache\""), std::string::npos) << requests[0];

    ScopedEnvironment exception("no_proxy", ".invalid");
    EXPECT_FALSE(download(url));  // straight to a host that does not exist
  }
  EXPECT_FALSE(download(url));
}

TEST_F(CurlRequestTest, NeverFollowsARedirectFromHttpsToHttp) {
  EXPECT_FALSE(lookUp(httpsBase() + faulty(u"redirect=302,to=http", scriptPath)));
  EXPECT_TRUE(lookUp(httpBase() + faulty(u"redirect=302,to=https", scriptPath)));
  // Begun on http, up to https, then down again: the last hop is still a downgrade.
  const std::u16string upAndDown = faulty(u"redirect=302,to=https", faulty(u"redirect=302,to=http", packagePath));
  EXPECT_FALSE(download(httpBase() + upAndDown));
  EXPECT_EQ(requestsContaining(u"\"path\": \"" + packagePath).size(), 0u);
}

}  // namespace
