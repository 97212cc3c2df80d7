// Runs the agent replacement exactly as the tool's last step runs it, for the end-to-end tests: the package
// is NewQuillonAgent.msi in the temporary folder given with --temp, Auth.ini (when it is beside this
// program) is read first as the migration flow reads it. Prints "result=<0|1> outcome=<...>".
#include "helper/Helper.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <cstring>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
  std::unique_ptr<testing_support::ScopedTempEnvironment> temp;
  if (argc == 3 && std::strcmp(argv[1], "--temp") == 0) {
    temp = std::make_unique<testing_support::ScopedTempEnvironment>(quillon::toPath(quillon::fromUtf8(argv[2])));
  }
  if (Helper::existsAuthFile()) {
    AuthSettings& settings = Helper::getAuthSettings();
    if (!Helper::readAuthSettings(settings.CompanyName, settings.CompanyCode, settings.CertCode)) {
      std::cout << "result=auth-unreadable" << std::endl;
      return 3;
    }
  }
  ReplacementOutcome outcome = ReplacementOutcome::Replaced;
  const bool replaced = Helper::updateQuillon(&outcome);
  const char* names[] = {"replaced", "uninstall-failed", "install-failed"};
  std::cout << "result=" << (replaced ? 1 : 0) << " outcome=" << names[static_cast<int>(outcome)] << std::endl;
  return 0;
}
