// Running the Windows Installer: installing the downloaded package and uninstalling the installed agent.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/InstallerRun.h"
#include "log/WriteLog.h"
#include "platform/CommandLine.h"
#include "platform/Process.h"
#include "platform/Text.h"

using namespace quillon;

namespace {

constexpr std::size_t kProductCodeCapacity = 261;  // 260 characters and the terminator

// Where each installer run logs its failures: the function and the line for each failing step.
struct RunSite {
  const char16_t* function;
  int startLine;
  int waitLine;
  int exitCodeLine;
};
constexpr RunSite kInstallSite{u"Helper::ExecMsiSync", 125, 134, 143};
constexpr RunSite kUninstallSite{u"Helper::ExecUninstallMsiByProductCodeSync", 185, 194, 203};

// Runs the installer and waits for it. True when it exited with 0, or with 3010: the installer's work is done
// and only a restart is pending (the product is removed or installed; its files may be replaced at the
// restart), so treating it as a failure would leave a PC without an agent for nothing. A failure to start,
// wait or get the exit code is logged with the platform's error code. Any other exit code (1641, 1618
// included) is a failure and is not logged.
bool runInstaller(const RunSite& site, const std::u16string& program, const std::u16string& commandLine,
                  std::uint32_t& exitCode) {
  const ProcessRun run = runToCompletion(program, commandLine);
  const char16_t* format = nullptr;
  int line = 0;
  switch (run.failedAt) {
    case ProcessRun::Step::Done:
      exitCode = run.exitCode;
      return run.exitCode == 0 || isExitCode(run.exitCode, kInstallerRestartRequired);
    case ProcessRun::Step::Start:
      format = u"CreateProcess Error(%d)";
      line = site.startLine;
      break;
    case ProcessRun::Step::Wait:
      format = u"WaitForSingleObject Error(%d)";
      line = site.waitLine;
      break;
    case ProcessRun::Step::ExitCode:
      format = u"GetExitCodeProcess Error(%d)";
      line = site.exitCodeLine;
      break;
  }
  const std::u16string message = formatText(format, {run.error});
  WriteLog(kHelperSource, site.function, line, kLogError, message.c_str());
  return false;
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
                          const char16_t* certificationCode, std::uint32_t& exitCode) {
  return runInstaller(kInstallSite, program, Helper::installCommandLine(packagePath, companyCode, certificationCode),
                      exitCode);
}

bool quillon::execUninstallByProductCode(const std::u16string& program, std::uint32_t& exitCode) {
  // The key stays open while the installer runs and is closed on every path when `key` ends.
  RegistryKey key;
  if (key.open(AgentRegistryKey) != 0) return false;
  char16_t productCode[kProductCodeCapacity];
  if (Helper::readRegistryString(key, u"ProductCode", productCode, kProductCodeCapacity) != 0) return false;
  return runInstaller(kUninstallSite, program, Helper::uninstallCommandLine(productCode), exitCode);
}

bool Helper::ExecMsiSync(const char16_t* packagePath, const char16_t* companyCode, const char16_t* certificationCode,
                         std::uint32_t& exitCode) {
  return execInstall(installerProgram(), packagePath, companyCode, certificationCode, exitCode);
}

bool Helper::ExecUninstallMsiByProductCodeSync(std::uint32_t& exitCode) {
  return execUninstallByProductCode(installerProgram(), exitCode);
}
