// What the tool's command line asks for. Without arguments the tool is the interactive tool it always was. A
// software distribution starts it with switches in the Windows Installer's words, each case-insensitive and
// after "/" or "-": /quiet, /passive, /AcceptTerms, /?, and /resume (the finishing step the tool registers for
// itself). Anything else is refused before anything changes.
#pragma once

#include "platform/UiMode.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct CommandLineOptions {
  enum class Request {
    Run,      // migrate, in `mode`
    Usage,    // /?: the usage, and nothing else
    Refused,  // an argument the tool does not take; `refusal` says which
  };
  Request request = Request::Run;
  // How much may be shown. Set for a refused line too: /quiet or /passive among its arguments forbid a box.
  UiMode mode = UiMode::Full;
  bool acceptTerms = false;  // /AcceptTerms: the administrator accepts the terms for the organisation
  bool resume = false;       // /resume: the finishing step; quiet, and needs no /AcceptTerms
  // The switch that chose the quiet or passive mode, as it was written (named when /AcceptTerms is missing).
  std::u16string modeSwitch;
  // Refused: the first fault in the order of the arguments, in the run log's words, the arguments as written:
  // Unknown(/x), Repeated(-Quiet) (a switch given a second time), Conflict(/quiet /passive).
  std::u16string refusal;

  // True when /quiet or /passive must come with /AcceptTerms and did not.
  bool lacksAcceptance() const { return mode != UiMode::Full && !resume && !acceptTerms; }
};

// The options of the arguments (the program's name not among them).
CommandLineOptions parseCommandLine(const std::vector<std::u16string>& arguments);

// The arguments as the run log shows them: separated by one blank, each control character (a line feed would
// start a line of its own in the log) written as "?".
std::u16string argumentsForLog(const std::vector<std::u16string>& arguments);

}  // namespace quillon
