// quillon-fetch: the tool's own server requests, package check and Auth.ini reader on their own, for the
// benchmark, for scripts/check-server (what every PC will do, tried from the administrator's machine) and
// for scripts/package (refusing an Auth.ini the tool would refuse). Linux build only (the Windows requests
// are the platform's own).
//
//   quillon-fetch download URL PATH                           Helper::downloadFile
//   quillon-fetch lookup CONFIG_SCRIPT_URL PREFIX [SECONDS]   the package-URL lookup against any server,
//                                                             with the tool's time limit or SECONDS
//   quillon-fetch addresses BASE_URL   the addresses the tool built for BASE_URL uses, one per line:
//                                      "config-script URL", "package-prefix URL", "agent-endpoint URL"
//   quillon-fetch check PATH           Helper::checkAgentPackage; then "ProductCode X", "ProductVersion X"
//                                      and "size BYTES", one per line
//   quillon-fetch auth FILE            the three values of an Auth.ini as the tool reads them
//                                      ("CompanyName X" ...), or "missing KEY" for the first that fails
//
// download and lookup print the result ("true"/"false", or the package URL), the seconds taken and the peak
// resident memory in KiB. Exit status 0 on success, 1 on a false result, 2 on a wrong command line. The
// lookup's and the check's log lines go to the run log as usual (QuillonMigrationTool.log in TMPDIR). When
// download, lookup or check fails, three lines say what the failure means for a server check (the one table
// of helper/ServerCheck.h): "failed SITE MESSAGE", the step's last ERROR line by the name of its log site
// (log/LogSites.inc) and its message ("failed" alone when it logged none); "status N", the server check's
// exit status; and "tool-status N", the exit status the tool ends with on a PC.
#include "helper/AuthFile.h"
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/ServerAccess.h"
#include "helper/ServerCheck.h"
#include "log/LogSite.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr char kUsage[] =
    "usage: quillon-fetch download URL PATH | lookup CONFIG_SCRIPT_URL PREFIX [SECONDS] | addresses BASE_URL\n"
    "                     | check PATH | auth FILE\n";

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// VmHWM: unlike getrusage's maximum, it does not carry over the peak of the process that started us.
long peakMemoryKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

void printFailure(const quillon::CheckStepOutcome& outcome) {
  std::string failed = "failed";
  for (const logsite::Named& named : logsite::all) {
    if (&named.site == outcome.site) failed += std::string(" ") + named.name + " " + quillon::toUtf8(outcome.logged);
  }
  std::cout << failed << "\n"
            << "status " << static_cast<int>(outcome.failure->status) << "\n"
            << "tool-status " << static_cast<int>(outcome.failure->toolExitCode) << "\n";
}

int timed(bool ok, const std::string& result, std::chrono::steady_clock::time_point start) {
  std::cout << result << " " << secondsSince(start) << " " << peakMemoryKiB() << "\n";
  return ok ? 0 : 1;
}

int download(const char* url, const char* path) {
  const auto start = std::chrono::steady_clock::now();
  const quillon::CheckStepOutcome outcome = quillon::runCheckStep(quillon::CheckStep::Download, [&] {
    return Helper::downloadFile(quillon::fromUtf8(url).c_str(), quillon::fromUtf8(path).c_str());
  });
  const bool ok = outcome.failure == nullptr;
  const int status = timed(ok, ok ? "true" : "false", start);
  if (!ok) printFailure(outcome);
  return status;
}

int lookup(const char* configScriptUrl, const char* prefix, std::chrono::seconds timeLimit) {
  const auto start = std::chrono::steady_clock::now();
  char16_t url[quillon::kPackageUrlCapacity];
  const quillon::CheckStepOutcome outcome = quillon::runCheckStep(quillon::CheckStep::Lookup, [&] {
    return quillon::lookUpPackageUrl(quillon::fromUtf8(configScriptUrl).c_str(), quillon::fromUtf8(prefix).c_str(),
                                     url, timeLimit);
  });
  const bool ok = outcome.failure == nullptr;
  const int status = timed(ok, ok ? quillon::toUtf8(url) : std::string("false"), start);
  if (!ok) printFailure(outcome);
  return status;
}

int addresses(const std::string& base) {
  std::cout << "config-script " << base << QUILLON_CONFIG_SCRIPT_PATH << "\n"
            << "package-prefix " << base << "\n"
            << "agent-endpoint " << base << QUILLON_AGENT_ENDPOINT_PATH << "\n";
  return 0;
}

int check(const char* path) {
  const std::u16string package = quillon::fromUtf8(path);
  const quillon::CheckStepOutcome outcome = quillon::runCheckStep(
      quillon::CheckStep::PackageCheck, [&] { return Helper::checkAgentPackage(package.c_str()); });
  if (outcome.failure != nullptr) {
    printFailure(outcome);
    return 1;
  }
  const quillon::PackageFacts facts = quillon::packageFacts(package);
  std::cout << "ProductCode " << quillon::toUtf8(facts.productCode) << "\n"
            << "ProductVersion " << quillon::toUtf8(facts.productVersion) << "\n"
            << "size " << facts.size << "\n";
  return 0;
}

int auth(const char* file) {
  std::u16string companyName, companyCode, certCode;
  const char16_t* failedKey = nullptr;
  if (!quillon::readAuthSettingsFile(quillon::toPath(quillon::fromUtf8(file).c_str()), companyName, companyCode,
                                     certCode, &failedKey)) {
    std::cout << "missing " << quillon::toUtf8(failedKey) << "\n";
    return 1;
  }
  std::cout << "CompanyName " << quillon::toUtf8(companyName) << "\n"
            << "CompanyCode " << quillon::toUtf8(companyCode) << "\n"
            << "CertCode " << quillon::toUtf8(certCode) << "\n";
  return 0;
}

// A time limit in whole seconds, at least 1; 0 when the text is none.
long seconds(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value > 0 ? value : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "download" && argc == 4) return download(argv[2], argv[3]);
  if (command == "lookup" && argc == 4) return lookup(argv[2], argv[3], quillon::kConfigScriptTimeLimit);
  if (command == "lookup" && argc == 5 && seconds(argv[4]) > 0) {
    return lookup(argv[2], argv[3], std::chrono::seconds(seconds(argv[4])));
  }
  if (command == "addresses" && argc == 3) return addresses(argv[2]);
  if (command == "check" && argc == 3) return check(argv[2]);
  if (command == "auth" && argc == 3) return auth(argv[2]);
  std::cerr << kUsage;
  return 2;
}
