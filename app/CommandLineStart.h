// The start of a run: what its command line decides before the migration begins (app/CommandLineOptions.h).
#pragma once

#include "app/CommandLineOptions.h"
#include "res/ExitCodes.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// Reads the arguments into `options`, logs them (when there are any) and sets how much of the interface the
// run may show (platform/UiMode.h): none where no user can see a window. Returns the exit status when the
// command line itself ends the run (refused, the usage, nobody to see a window, a mode without /AcceptTerms),
// each with its line in the run log; nothing on the PC has changed then. Without arguments, where a user can
// see, it does nothing at all and the run is the interactive one.
std::optional<ToolExitCode> startFromCommandLine(const std::vector<std::u16string>& arguments,
                                                 CommandLineOptions& options);

}  // namespace quillon
