// What a failed step of a server check means: one table, read by quillon-fetch for scripts/check-server and
// by the server check program alike.
#include "helper/ServerCheck.h"

#include "helper/PackageDatabase.h"
#include "platform/Paths.h"
#include "res/resource.h"

#include <boost/filesystem/operations.hpp>

namespace quillon {

namespace {

using Step = CheckStep;
using Status = CheckStatus;

// Per step, its ERROR lines that tell a failure apart, then the step's row for every other end (a row
// without a site). The lookup stops the tool before its download, the download and the package check before
// its uninstall.
constexpr CheckFailure kFailures[] = {
    {Step::Lookup, &logsite::ConfigScriptNoResponse, Status::NoAnswer, ToolExitCode::PackageUrlNotFound,
     IDS_CHECK_NO_ANSWER},
    {Step::Lookup, &logsite::ConfigScriptStatus, Status::ScriptStatus, ToolExitCode::PackageUrlNotFound,
     IDS_CHECK_SCRIPT_STATUS},
    {Step::Lookup, &logsite::ConfigScriptKeyMissing, Status::NoPackageNamed, ToolExitCode::PackageUrlNotFound,
     IDS_CHECK_NO_PACKAGE_NAMED},
    {Step::Lookup, &logsite::PackageUrlTooLong, Status::UrlTooLong, ToolExitCode::PackageUrlNotFound,
     IDS_CHECK_URL_TOO_LONG},
    {Step::Lookup, nullptr, Status::NoAnswer, ToolExitCode::PackageUrlNotFound, IDS_CHECK_NO_ANSWER},
    {Step::Download, nullptr, Status::DownloadFailed, ToolExitCode::DownloadFailed, IDS_CHECK_DOWNLOAD_FAILED},
    {Step::PackageCheck, &logsite::PackageOpenFailed, Status::PackageUnusable, ToolExitCode::DownloadFailed,
     IDS_CHECK_NOT_A_PACKAGE},
    {Step::PackageCheck, &logsite::PackageQueryFailed, Status::PackageUnusable, ToolExitCode::DownloadFailed,
     IDS_CHECK_TABLE_UNREADABLE},
    {Step::PackageCheck, &logsite::PackageProductCodeMissing, Status::PackageUnusable, ToolExitCode::DownloadFailed,
     IDS_CHECK_NO_PRODUCT_CODE},
    {Step::PackageCheck, &logsite::PackageTransformMissing, Status::PackageUnusable, ToolExitCode::DownloadFailed,
     IDS_CHECK_NO_TRANSFORM},
    {Step::PackageCheck, &logsite::PackageStreamCut, Status::PackageUnusable, ToolExitCode::DownloadFailed,
     IDS_CHECK_STREAM_CUT},
    {Step::PackageCheck, &logsite::PackageCabinetMissing, Status::PackageUnusable, ToolExitCode::DownloadFailed,
     IDS_CHECK_CABINET_MISSING},
    {Step::PackageCheck, nullptr, Status::PackageUnusable, ToolExitCode::DownloadFailed, IDS_CHECK_PACKAGE_UNUSABLE},
};

}  // namespace

const CheckFailure& checkFailure(CheckStep step, const LogSite* lastError) {
  for (const CheckFailure& failure : kFailures) {
    if (failure.step == step && (failure.site == nullptr || failure.site == lastError)) return failure;
  }
  return kFailures[0];  // unreachable: every step ends in a row without a site
}

CheckStepOutcome runCheckStep(CheckStep step, const std::function<bool()>& body) {
  const unsigned long before = lastLoggedError().count;
  CheckStepOutcome outcome;
  if (body()) return outcome;
  const LoggedError& error = lastLoggedError();
  if (error.count != before) {
    outcome.site = error.site;
    outcome.logged = error.message;
  }
  outcome.failure = &checkFailure(step, outcome.site);
  return outcome;
}

PackageFacts packageFacts(const std::u16string& path) {
  PackageFacts facts;
  PackageDatabase database;
  if (database.open(path) == 0) {
    database.property(u"ProductCode", facts.productCode);
    database.property(u"ProductVersion", facts.productVersion);
  }
  boost::system::error_code error;
  const std::uintmax_t size = boost::filesystem::file_size(toPath(path), error);
  facts.size = error ? 0 : size;
  return facts;
}

}  // namespace quillon
