// The installer's command lines, read back by the argument rules the installer applies: every package path,
// product code and property value comes back whole, as one argument, and adds no argument of its own. And
// any command line, split and quoted again, splits into the same arguments.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "platform/CommandLine.h"
#include "tests/fuzz/FuzzInput.h"

#include <algorithm>

using namespace quillon;
using namespace quillon::fuzz;

namespace {

using Arguments = std::vector<std::u16string>;

std::u16string describe(const std::u16string& commandLine, const Arguments& arguments) {
  std::u16string text = commandLine + u"\n  split:";
  for (const std::u16string& argument : arguments) text += u" [" + argument + u"]";
  return text;
}

void checkSplit(const std::u16string& commandLine, const Arguments& expected, const char* what) {
  const Arguments arguments = splitCommandLine(commandLine);
  check(arguments == expected, what, describe(commandLine, arguments));
}

// An argument that needs no quoting is written exactly as given.
void checkVerbatim(const std::u16string& commandLine, std::u16string_view argument) {
  if (argument.find_first_of(u" \t\"") != std::u16string_view::npos) return;
  const std::u16string written = u" " + std::u16string(argument) + u" ";
  check(commandLine.find(written) != std::u16string::npos, "a plain argument is written unquoted", commandLine);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::u16string> fields = fieldsOf(data, size, 4);
  const std::u16string& packagePath = fields[0];
  const std::u16string& companyCode = fields[1];
  const std::u16string& certificationCode = fields[2];
  const std::u16string& productCode = fields[3];

  // Every command line and its values are NUL-terminated texts: a value cannot hold a NUL.
  bool holdsNul = false;
  for (std::size_t i = 0; i < 4; ++i) holdsNul |= fields[i].find(u'\0') != std::u16string::npos;

  // The package path is never empty (it is a file in the temporary folder), the product code may be.
  if (!holdsNul && !packagePath.empty()) {
    const std::u16string serverUrl = std::u16string(u"SERVER_URL=") + kAgentEndpointUrl;
    const bool withCodes = !companyCode.empty() && !certificationCode.empty();
    Arguments expected = {u"msiexec.exe", u"-i", packagePath, u"-qb!", serverUrl};
    if (withCodes) {
      expected.push_back(u"COMPANY_CODE=" + companyCode);
      expected.push_back(u"CERTIFICATION_CODE=" + certificationCode);
    }
    expected.insert(expected.end(), {u"TRANSFORMS=:1041", u"LANG=ja-JP"});
    const std::u16string install = Helper::installCommandLine(packagePath, companyCode, certificationCode);
    checkSplit(install, expected, "the install command's values come back whole");
    checkVerbatim(install, packagePath);
    if (withCodes) {
      checkVerbatim(install, u"COMPANY_CODE=" + companyCode);
      checkVerbatim(install, u"CERTIFICATION_CODE=" + certificationCode);
    }

    Arguments uninstallExpected = {u"msiexec.exe", u"-x", productCode, u"-qb!"};
    if (productCode.empty()) uninstallExpected.erase(uninstallExpected.begin() + 2);  // two blanks, no argument
    const std::u16string uninstall = Helper::uninstallCommandLine(productCode);
    checkSplit(uninstall, uninstallExpected, "the uninstall command's product code comes back whole");
    checkVerbatim(uninstall, productCode);
  }

  // Any text as a command line: its arguments, quoted again one by one, read back as themselves. An empty
  // argument (written "") has no unquoted form and is left out.
  const std::u16string commandLine = textOf(data, size);
  Arguments arguments = splitCommandLine(commandLine);
  arguments.erase(std::remove(arguments.begin(), arguments.end(), std::u16string()), arguments.end());
  std::u16string requoted;
  for (const std::u16string& argument : arguments) {
    requoted += (requoted.empty() ? u"" : u" ") + quoteArgument(argument);
  }
  checkSplit(requoted, arguments, "quoted arguments read back as themselves");
  return 0;
}
