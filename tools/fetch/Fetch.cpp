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
// lookup's and the check's log lines go to the run log as usual (QuillonMigrationTool.log in TMPDIR); when
// either fails it also prints "failed SITE MESSAGE": the step that failed, by the name of its log site
// (log/LogSites.inc), and the message it logged; "failed" alone when it logged none.
#include "helper/AuthFile.h"
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "helper/PackageDatabase.h"
#include "helper/ServerAccess.h"
#include "log/LogEntry.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
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

// The run log's sites by name, to tell a logged line's step.
struct NamedSite {
  const char* name;
  const LogSite& site;
};
constexpr NamedSite kSites[] = {
#define QUILLON_LOG_SITE(name, file, function, line, level) {#name, logsite::name},
#include "log/LogSites.inc"
#undef QUILLON_LOG_SITE
};

boost::filesystem::path runLog() { return quillon::toPath(quillon::runLogPath()); }

// The run log's size now: what lies beyond it later was logged since.
std::uintmax_t runLogSize() {
  boost::system::error_code error;
  const std::uintmax_t size = boost::filesystem::file_size(runLog(), error);
  return error ? 0 : size;
}

// What every line of a site holds after its time ("yyyy/mm/dd hh:mm:ss "): the entry the site writes with
// an empty message, without its line end.
constexpr std::size_t kLogTimeLength = 20;
std::u16string siteHead(const LogSite& site) {
  std::u16string entry = quillon::composeLogEntry({}, site.level, site.file, site.function, site.line, u"");
  entry.pop_back();
  return entry.substr(kLogTimeLength);
}

// Prints the last line of a log site that the run log gained beyond `logged` bytes, as "failed SITE MESSAGE".
// The run log is read back rather than watched, so that the tool's code runs here exactly as in the tool.
void printFailedStep(std::uintmax_t logged) {
  std::ifstream log(runLog().string(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  bytes.erase(0, logged <= bytes.size() ? logged : 0);  // a log started anew meanwhile is read whole
  const std::u16string decoded = quillon::fromUtf16le(bytes);
  std::u16string_view text = decoded;
  if (!text.empty() && text.front() == u'\uFEFF') text.remove_prefix(1);  // the log began with this step
  std::string failed = "failed";
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(u"\r\n"), text.size());
    const std::u16string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 2, text.size()));
    if (line.size() < kLogTimeLength) continue;
    const std::u16string_view entry = line.substr(kLogTimeLength);
    for (const NamedSite& named : kSites) {
      const std::u16string head = siteHead(named.site);
      if (entry.substr(0, head.size()) == head) {
        failed = std::string("failed ") + named.name + " " + quillon::toUtf8(entry.substr(head.size()));
      }
    }
  }
  std::cout << failed << "\n";
}

int timed(bool ok, const std::string& result, std::chrono::steady_clock::time_point start) {
  std::cout << result << " " << secondsSince(start) << " " << peakMemoryKiB() << "\n";
  return ok ? 0 : 1;
}

int download(const char* url, const char* path) {
  const auto start = std::chrono::steady_clock::now();
  const bool ok = Helper::downloadFile(quillon::fromUtf8(url).c_str(), quillon::fromUtf8(path).c_str());
  return timed(ok, ok ? "true" : "false", start);
}

int lookup(const char* configScriptUrl, const char* prefix, std::chrono::seconds timeLimit) {
  const std::uintmax_t logged = runLogSize();
  const auto start = std::chrono::steady_clock::now();
  char16_t url[quillon::kPackageUrlCapacity];
  const bool ok = quillon::lookUpPackageUrl(quillon::fromUtf8(configScriptUrl).c_str(),
                                            quillon::fromUtf8(prefix).c_str(), url, timeLimit);
  const int status = timed(ok, ok ? quillon::toUtf8(url) : std::string("false"), start);
  if (!ok) printFailedStep(logged);
  return status;
}

int addresses(const std::string& base) {
  std::cout << "config-script " << base << QUILLON_CONFIG_SCRIPT_PATH << "\n"
            << "package-prefix " << base << "\n"
            << "agent-endpoint " << base << QUILLON_AGENT_ENDPOINT_PATH << "\n";
  return 0;
}

// One value of the package's Property table, as the installer reads it; empty when it has none.
std::u16string packageProperty(const std::u16string& path, const std::u16string& name) {
  quillon::PackageDatabase database;
  std::u16string value;
  if (database.open(path) == 0) database.property(name, value);
  return value;
}

int check(const char* path) {
  const std::u16string package = quillon::fromUtf8(path);
  const std::uintmax_t logged = runLogSize();
  if (!Helper::checkAgentPackage(package.c_str())) {
    printFailedStep(logged);
    return 1;
  }
  boost::system::error_code error;
  const auto size = boost::filesystem::file_size(quillon::toPath(package.c_str()), error);
  std::cout << "ProductCode " << quillon::toUtf8(packageProperty(package, u"ProductCode")) << "\n"
            << "ProductVersion " << quillon::toUtf8(packageProperty(package, u"ProductVersion")) << "\n"
            << "size " << (error ? 0 : size) << "\n";
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
