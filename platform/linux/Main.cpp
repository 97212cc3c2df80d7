// Linux entry point of the tool: the framework runs the application object.
#include "platform/Framework.h"

#include <csignal>

int main() {
  // The boxes print to standard output; when whoever reads it goes away (a closed pipe), the run must
  // still finish its step and write its run-log line rather than die on the first write.
  std::signal(SIGPIPE, SIG_IGN);
  return RunApplication();
}
