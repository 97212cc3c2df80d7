// The thread's COM apartment (Windows); nothing on Linux, where the requests use no COM.
#pragma once

namespace quillon {

// Makes the calling thread a single-threaded apartment; the result is not needed by the tool.
void initializeCom();
void uninitializeCom();

}  // namespace quillon
