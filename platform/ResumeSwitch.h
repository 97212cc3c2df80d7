// Whether the tool was started as the finishing task starts it, with "/resume" (or "-resume", in any case)
// among its arguments. The one place the tool looks at its command line for now.
#pragma once

namespace quillon {

bool resumeSwitchGiven();

}  // namespace quillon
