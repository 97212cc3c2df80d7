// What a failed step of a server check means, for scripts/check-server and the server check program alike.
#include "helper/ServerCheck.h"

#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace quillon;
using namespace testing_support;

namespace {

class ServerCheckTest : public ::testing::Test {
 protected:
  TempDirectory temp;
  ScopedTempEnvironment environment{temp.path()};
};

// Each ERROR line of a step's operation has a row of its own, so the report gives its own reason rather than
// the step's catch-all one, which would send an administrator looking in the wrong place; a line of another
// step, or none, gets the catch-all.
TEST_F(ServerCheckTest, EveryErrorLineOfAStepHasARowOfItsOwn) {
  const struct {
    std::u16string_view function;
    CheckStep step;
  } steps[] = {{u"Helper::getDownloadUrl", CheckStep::Lookup},
               {u"Helper::downloadFile", CheckStep::Download},
               {u"Helper::checkAgentPackage", CheckStep::PackageCheck}};
  for (const auto& step : steps) {
    EXPECT_EQ(checkFailure(step.step, nullptr).site, nullptr);
    for (const logsite::Named& named : logsite::all) {
      const bool own = named.site.function == step.function && std::u16string_view(named.site.level) == u"ERROR";
      EXPECT_EQ(checkFailure(step.step, &named.site).site, own ? &named.site : nullptr) << named.name;
    }
  }
}

TEST_F(ServerCheckTest, AStepIsJudgedByTheLastErrorLineItWroteItself) {
  WriteLog(logsite::ConfigScriptStatus, u"ResponseCode =404");  // an earlier step's
  const struct {
    const char* what;
    bool result;
    std::vector<std::pair<const LogSite*, const char16_t*>> lines;
    CheckStatus status;
    const LogSite* site;
    std::u16string logged;
  } cases[] = {
      {"passed", true, {}, CheckStatus::Passed, nullptr, u""},
      {"failed without a line", false, {}, CheckStatus::NoAnswer, nullptr, u""},
      {"its own line", false, {{&logsite::ConfigScriptKeyMissing, u"key"}}, CheckStatus::NoPackageNamed,
       &logsite::ConfigScriptKeyMissing, u"key"},
      {"an INFO line after it", false,
       {{&logsite::PackageUrlTooLong, u"URL Length Error(600)"}, {&logsite::InstallBusyWait, u"wait"}},
       CheckStatus::UrlTooLong, &logsite::PackageUrlTooLong, u"URL Length Error(600)"},
  };
  for (const auto& c : cases) {
    const CheckStepOutcome outcome = runCheckStep(CheckStep::Lookup, [&] {
      for (const auto& [site, message] : c.lines) WriteLog(*site, message);
      return c.result;
    });
    EXPECT_EQ(outcome.failure ? outcome.failure->status : CheckStatus::Passed, c.status) << c.what;
    EXPECT_EQ(outcome.site, c.site) << c.what;
    EXPECT_EQ(outcome.logged, c.logged) << c.what;
  }
}

}  // namespace
