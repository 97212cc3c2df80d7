// A server check: the steps a PC takes before it changes anything (the package-URL lookup, the download and
// the package check), each with the tool's own code, and what it means when one fails. The meaning is one
// table, for both ways of checking: scripts/check-server (through quillon-fetch) and the server check program
// that administrators run on a PC of each site.
#pragma once

#include "log/LogSite.h"
#include "res/ExitCodes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

enum class CheckStep { Lookup, Download, PackageCheck };

// A server check's exit status.
enum class CheckStatus : int {
  Passed = 0,           // a PC gets as far as uninstalling its old agent
  NotRun = 1,           // the check itself could not run
  NoAnswer = 2,         // the configuration script: no answer, or none within the tool's time limit
  ScriptStatus = 3,     // the configuration script: a status outside 200-299
  NoPackageNamed = 4,   // the configuration script names no package
  UrlTooLong = 5,       // the package URL is 512 characters or longer
  DownloadFailed = 6,   // the package: no answer, a status other than 200, or an empty body
  PackageUnusable = 7,  // what came is not a package the install can apply
};

// What a failed step means.
struct CheckFailure {
  CheckStep step;
  const LogSite* site;  // the step's last ERROR line; null: the step's row for any other line, or none
  CheckStatus status;
  ToolExitCode toolExitCode;  // where the tool stops on a PC
  unsigned reasonId;          // the catalogue's reason, for the check program's report
};

// The row for a step that failed, by the last ERROR line it logged (null when it logged none).
const CheckFailure& checkFailure(CheckStep step, const LogSite* lastError);

// How one step went: `failure` is null when it passed; otherwise its row, and the last ERROR line the step
// logged (site null and message empty when it logged none).
struct CheckStepOutcome {
  const CheckFailure* failure = nullptr;
  const LogSite* site = nullptr;
  std::u16string logged;
};

// Runs one step, `body` being the tool's operation, and tells what its result means.
CheckStepOutcome runCheckStep(CheckStep step, const std::function<bool()>& body);

// What the report says of a package that passed the check: its ProductCode and ProductVersion as the
// installer reads them (empty where it has none), and its size in bytes.
struct PackageFacts {
  std::u16string productCode;
  std::u16string productVersion;
  std::uint64_t size = 0;
};
PackageFacts packageFacts(const std::u16string& path);

}  // namespace quillon
