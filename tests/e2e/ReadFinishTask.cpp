// The tests' way to "start the PC again": prints the finishing task's command as the system keeps its
// definition (platform/FinishTask.h), so that the test runs exactly what the task would run. One JSON line:
// {"program": ..., "arguments": ...}; or {"error": N}, with exit status 2 when there is no task, 1 otherwise.
#include "platform/FinishTask.h"
#include "platform/Text.h"

#include <cstdio>
#include <string>

namespace {

std::string json(const std::u16string& text) {
  std::string out = "\"";
  for (char c : quillon::toUtf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

int main() {
  quillon::FinishTaskCommand command;
  const int error = quillon::readFinishTask(command);
  if (error != 0) {
    std::printf("{\"error\": %d}\n", error);
    return error == 2 ? 2 : 1;
  }
  std::printf("{\"program\": %s, \"arguments\": %s}\n", json(command.program).c_str(), json(command.arguments).c_str());
  return 0;
}
