// Running the Windows Installer: installing the downloaded package and uninstalling the installed agent.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/InstallerBusy.h"
#include "helper/InstallerLog.h"
#include "helper/InstallerRun.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"
#include "platform/CommandLine.h"
#include "platform/Process.h"
#include "platform/Progress.h"
#include "platform/Text.h"

using namespace quillon;

namespace {

constexpr std::size_t kProductCodeCapacity = 261;  // 260 characters and the terminator

// Where each installer run logs: a wait for another installation, a run again without the installer's own
// log, each failing step, and a run again after 1618 (none: the run is not repeated); and the step its own log
// is named for.
struct RunSite {
  const LogSite& busyWait;
  const LogSite& logRetry;
  const LogSite& start;
  const LogSite& wait;
  const LogSite& exitCode;
  const LogSite* busyRetry;
  const char16_t* step;
};
// An uninstall that meets another installation after its wait is not repeated: the old agent is still
// there, and box 112 tells the user to run the tool again once the other installer has finished. The install
// is repeated, as the PC has no agent then.
constexpr RunSite kInstallSite{logsite::InstallBusyWait,       logsite::InstallLogRetry,
                               logsite::InstallStartFailed,    logsite::InstallWaitFailed,
                               logsite::InstallExitCodeFailed, &logsite::InstallBusyRetry,
                               u"install"};
constexpr RunSite kUninstallSite{logsite::UninstallBusyWait,       logsite::UninstallLogRetry,
                                 logsite::UninstallStartFailed,    logsite::UninstallWaitFailed,
                                 logsite::UninstallExitCodeFailed, nullptr,
                                 u"uninstall"};

// True for the exit codes that mean the installer's work is done: 0, and 3010, where only a restart is
// pending (the product is removed or installed; its files may be replaced at the restart), so treating it as
// a failure would leave a PC without an agent for nothing. Any other (1641, 1618 included) is a failure.
bool isDone(std::uint32_t exitCode) { return exitCode == 0 || isExitCode(exitCode, kInstallerRestartRequired); }

// Runs the installer once and waits for it: its exit code, which is not logged; or nothing when it could not
// be started, waited for or asked for its exit code, which is logged with the platform's error code.
std::optional<std::uint32_t> runOnce(const RunSite& site, const std::u16string& program,
                                     const std::u16string& commandLine) {
  const ProcessRun run = runToCompletion(program, commandLine);
  const char16_t* format = nullptr;
  const LogSite* failed = nullptr;
  switch (run.failedAt) {
    case ProcessRun::Step::Done:
      return run.exitCode;
    case ProcessRun::Step::Start:
      format = u"CreateProcess Error(%d)";
      failed = &site.start;
      break;
    case ProcessRun::Step::Wait:
      format = u"WaitForSingleObject Error(%d)";
      failed = &site.wait;
      break;
    case ProcessRun::Step::ExitCode:
      format = u"GetExitCodeProcess Error(%d)";
      failed = &site.exitCode;
      break;
  }
  const std::u16string message = formatText(format, {run.error});
  WriteLog(*failed, message.c_str());
  return std::nullopt;
}

// Runs the installer once, writing its own log to a new file in the log's folder where there is one, and at
// once again without it when the installer could not open that file. log->file names the file written.
std::optional<std::uint32_t> runLogged(const RunSite& site, const std::u16string& program,
                                       const std::u16string& commandLine, InstallerLog* log, unsigned run) {
  if (log == nullptr) return runOnce(site, program, commandLine);
  log->file.clear();
  const std::u16string file =
      log->folder.empty() ? std::u16string()
                          : newInstallerLogFile(log->folder, currentLocalTime(), currentProcessId(), site.step, run);
  std::optional<std::uint32_t> code = runOnce(site, program, withInstallerLog(commandLine, file));
  if (code && !file.empty() && isExitCode(*code, kInstallerLogFailure)) {
    const std::u16string message = formatText(u"Installer Log Error(%u) Retry Without Log", {kInstallerLogFailure});
    WriteLog(site.logRetry, message.c_str());
    return runOnce(site, program, commandLine);
  }
  if (code && installerLogWritten(file)) log->file = file;
  return code;
}

// Runs the installer once another installation in progress has ended, and, where the site allows, again
// after a 1618; all within the bound of installerBusyBound, each wait and each rerun logged. True when the
// work is done (isDone); exitCode receives the last exit code.
bool runInstaller(const RunSite& site, const std::u16string& program, const std::u16string& commandLine,
                  std::uint32_t& exitCode, InstallerLog* log) {
  const InstallerBusyBound bound = installerBusyBound();
  for (unsigned run = 1;; ++run) {
    if (const std::optional<unsigned> waited = waitWhileInstallerBusy(bound)) {
      const std::u16string message = formatText(u"Installer Busy(%u) Wait(%u)", {kInstallerBusy, *waited});
      WriteLog(site.busyWait, message.c_str());
    }
    const std::optional<std::uint32_t> code = runLogged(site, program, commandLine, log, run);
    if (!code) return false;
    exitCode = *code;
    const bool again = site.busyRetry != nullptr && isExitCode(*code, kInstallerBusy) &&
                       std::chrono::steady_clock::now() + bound.pause < bound.deadline;
    if (!again) return isDone(*code);
    const auto pause = std::chrono::duration_cast<std::chrono::seconds>(bound.pause);
    const std::u16string message =
        formatText(u"Installer Busy(%u) Retry(%u)", {kInstallerBusy, static_cast<unsigned>(pause.count())});
    WriteLog(*site.busyRetry, message.c_str());
    waitKeepingProgress(bound.pause);
  }
}

}  // namespace

std::u16string Helper::installCommandLine(std::u16string_view packagePath, std::u16string_view companyCode,
                                          std::u16string_view certificationCode) {
  // The command line grows with its values: a long package path or code is passed whole, never cut.
  if (!companyCode.empty() && !certificationCode.empty()) {
    return formatText(
        u"msiexec.exe %s %s %s SERVER_URL=%s COMPANY_CODE=%s CERTIFICATION_CODE=%s TRANSFORMS=:1041 LANG=ja-JP",
        {u"-i", quoteArgument(packagePath), u"-qb!", quoteArgument(kAgentEndpointUrl), quoteArgument(companyCode),
         quoteArgument(certificationCode)});
  }
  return formatText(u"msiexec.exe %s %s %s SERVER_URL=%s TRANSFORMS=:1041 LANG=ja-JP",
                    {u"-i", quoteArgument(packagePath), u"-qb!", quoteArgument(kAgentEndpointUrl)});
}

std::u16string Helper::uninstallCommandLine(std::u16string_view productCode) {
  return formatText(u"msiexec.exe -x %s %s", {quoteArgument(productCode), u"-qb!"});
}

std::u16string quillon::installerProgram() { return systemProgramPath(u"msiexec.exe"); }

bool quillon::execInstall(const std::u16string& program, const char16_t* packagePath, const char16_t* companyCode,
                          const char16_t* certificationCode, std::uint32_t& exitCode, InstallerLog* log) {
  return runInstaller(kInstallSite, program, Helper::installCommandLine(packagePath, companyCode, certificationCode),
                      exitCode, log);
}

bool quillon::execUninstallByProductCode(const std::u16string& program, std::uint32_t& exitCode, InstallerLog* log) {
  if (log != nullptr) log->file.clear();
  // The key stays open while the installer runs and is closed on every path when `key` ends.
  RegistryKey key;
  if (key.open(AgentRegistryKey) != 0) return false;
  char16_t productCode[kProductCodeCapacity];
  if (Helper::readRegistryString(key, u"ProductCode", productCode, kProductCodeCapacity) != 0) return false;
  // The last word before any uninstall: the agent this tool installed itself stays.
  if (Helper::keepRecordedAgent(productCode)) return false;
  return runInstaller(kUninstallSite, program, Helper::uninstallCommandLine(productCode), exitCode, log);
}

bool Helper::ExecMsiSync(const char16_t* packagePath, const char16_t* companyCode, const char16_t* certificationCode,
                         std::uint32_t& exitCode, InstallerLog* log) {
  return execInstall(installerProgram(), packagePath, companyCode, certificationCode, exitCode, log);
}

bool Helper::ExecUninstallMsiByProductCodeSync(std::uint32_t& exitCode, InstallerLog* log) {
  return execUninstallByProductCode(installerProgram(), exitCode, log);
}
