// quillon-fetch: the tool's two server requests on their own, for the benchmark and for trying a server by
// hand. Linux build only (the Windows requests are the platform's own).
//
//   quillon-fetch download URL PATH                 Helper::downloadFile
//   quillon-fetch lookup CONFIG_SCRIPT_URL PREFIX   the package-URL lookup against any server
//
// Prints the result ("true"/"false", or the package URL), the seconds taken and the peak resident memory in
// KiB; exit status 0 on success, 1 on a false result, 2 on a wrong command line. The lookup's log lines go
// to the run log as usual.
#include "helper/Helper.h"
#include "helper/ServerAccess.h"
#include "platform/Text.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "download") != 0 && std::strcmp(argv[1], "lookup") != 0)) {
    std::cerr << "usage: quillon-fetch download URL PATH | lookup CONFIG_SCRIPT_URL PREFIX\n";
    return 2;
  }
  const std::u16string first = quillon::fromUtf8(argv[2]);
  const std::u16string second = quillon::fromUtf8(argv[3]);
  const auto start = std::chrono::steady_clock::now();
  bool ok;
  if (std::strcmp(argv[1], "download") == 0) {
    ok = Helper::downloadFile(first.c_str(), second.c_str());
    std::cout << (ok ? "true" : "false");
  } else {
    char16_t url[quillon::kPackageUrlCapacity];
    ok = quillon::lookUpPackageUrl(first.c_str(), second.c_str(), url);
    std::cout << (ok ? quillon::toUtf8(url) : std::string("false"));
  }
  const double seconds = secondsSince(start);
  std::cout << " " << seconds << " " << peakMemoryKiB() << "\n";
  return ok ? 0 : 1;
}
