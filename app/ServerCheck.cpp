// The server check program. An administrator runs it on one PC of each site before the migration day: it
// does what the tool will do there up to the uninstall (the package-URL lookup, the download and the package
// check), with the tool's own code and the server the tool is built for, through the site's network and the
// user's own settings, and reports each step in Japanese. It changes nothing on the PC (no agent is
// uninstalled or installed, no registry value is written) and asks for no administrator rights. Its exit
// status is scripts/check-server's (helper/ServerCheck.h).
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/PackageFile.h"
#include "helper/ServerAccess.h"
#include "helper/ServerCheck.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"
#include "platform/Com.h"
#include "platform/ConsoleOutput.h"
#include "platform/Framework.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "res/Messages.h"

#include <boost/filesystem/operations.hpp>

#include <string>

using namespace quillon;

namespace {

// The report: every line shown as it comes and written to the check's own run log, and kept whole for a
// closing box where the output would vanish with the program.
class Report {
 public:
  void line(const std::u16string& text, const LogSite& site = logsite::CheckReport) {
    WriteLog(site, text.c_str());
    show(text);
  }
  void line(unsigned id, std::initializer_list<FormatArg> args) { line(formatText(LoadMessageText(id), args)); }

  // Shown, not logged.
  void show(const std::u16string& text) {
    output_.writeLine(text);
    text_ += (text_.empty() ? u"" : u"\n") + text;
  }

  void close(bool passed) {
    if (output_.vanishesAtExit()) {
      showMessageBox(text_.c_str(), LoadMessageText(IDS_CHECK_CAPTION),
                     kBoxOk | (passed ? kBoxIconInformation : kBoxIconWarning));
    }
  }

 private:
  ConsoleOutput output_;
  std::u16string text_;
};

std::u16string decimal(std::uint64_t value) { return fromUtf8(std::to_string(value)); }

// The failed step's reason and the line it logged, then the verdict: where the tool stops on this PC.
CheckStatus reportFailure(Report& report, const CheckStepOutcome& outcome) {
  std::u16string reason = LoadMessageText(outcome.failure->reasonId);
  if (!outcome.logged.empty()) reason += u" (" + outcome.logged + u")";
  report.line(IDS_CHECK_STEP_FAILED, {reason});
  const CheckStatus status = outcome.failure->status;
  report.line(formatText(LoadMessageText(IDS_CHECK_FAILED),
                         {static_cast<int>(status), static_cast<int>(outcome.failure->toolExitCode)}),
              logsite::CheckFailed);
  return status;
}

// The download and the package check of the package at `url`, into a file of the check's own.
CheckStatus checkPackage(Report& report, const char16_t* url, const std::u16string& path) {
  report.line(IDS_CHECK_DOWNLOAD_STEP, {url});
  PackageFile package;  // held, as the tool holds its package, until the check is done
  CheckStepOutcome outcome =
      runCheckStep(CheckStep::Download, [&] { return Helper::downloadFile(url, path.c_str(), package); });
  if (outcome.failure != nullptr) return reportFailure(report, outcome);
  boost::system::error_code error;
  report.line(IDS_CHECK_DOWNLOAD_OK, {decimal(boost::filesystem::file_size(toPath(path), error))});

  report.line(IDS_CHECK_PACKAGE_STEP, {});
  outcome = runCheckStep(CheckStep::PackageCheck, [&] { return Helper::checkAgentPackage(path.c_str()); });
  if (outcome.failure != nullptr) return reportFailure(report, outcome);
  const PackageFacts facts = packageFacts(path);
  report.line(IDS_CHECK_PACKAGE_OK, {facts.productCode, facts.productVersion, decimal(facts.size)});
  report.line(LoadMessageText(IDS_CHECK_PASSED));
  return CheckStatus::Passed;
}

CheckStatus check(Report& report) {
  report.line(IDS_CHECK_SERVER, {ServerBaseUrl});
  const boost::filesystem::path temporary = temporaryDirectory();
  if (temporary.empty()) {
    report.line(LoadMessageText(IDS_CHECK_NOT_RUN), logsite::CheckFailed);
    return CheckStatus::NotRun;
  }

  report.line(IDS_CHECK_SCRIPT_STEP, {kConfigScriptUrl});
  char16_t url[kPackageUrlCapacity] = {};
  const CheckStepOutcome lookup = runCheckStep(CheckStep::Lookup, [&] { return Helper::getDownloadUrl(url); });
  if (lookup.failure != nullptr) return reportFailure(report, lookup);
  const std::u16string_view base = ServerBaseUrl;
  report.line(IDS_CHECK_SCRIPT_OK, {std::u16string_view(url).substr(base.size())});

  const std::u16string path = pathText(temporary / toPath(kServerCheckPackageFileName));
  const CheckStatus status = checkPackage(report, url, path);
  boost::system::error_code error;
  boost::filesystem::remove(toPath(path), error);  // the package was only for the check
  return status;
}

class CServerCheckApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    setRunLogFileName(kServerCheckLogFileName);  // before the first line
    initializeCom();
    Report report;
    const CheckStatus status = check(report);
    report.show(formatText(LoadMessageText(IDS_CHECK_LOG_FILE), {runLogPath()}));
    report.close(status == CheckStatus::Passed);
    m_nExitCode = static_cast<int>(status);
    return FALSE;  // no message loop: the check is over
  }

  int ExitInstance() override {
    uninitializeCom();
    return CWinApp::ExitInstance();
  }
};

CServerCheckApp theApp;

}  // namespace
