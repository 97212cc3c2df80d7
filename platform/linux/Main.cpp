// Linux entry point of the tool: the framework runs the application object.
#include "platform/Framework.h"
#include "platform/Text.h"

#include <csignal>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
  // The boxes print to standard output; when whoever reads it goes away (a closed pipe), the run must
  // still finish its step and write its run-log line rather than die on the first write.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(quillon::fromUtf8(argv[i]));
  return RunApplication(std::move(arguments));
}
