// How much of the tool's user interface a run may show, decided once from the command line before anything
// is shown. A software distribution runs the tool where nobody answers: a window there would wait for ever.
#pragma once

namespace quillon {

enum class UiMode {
  Full,     // every window: the terms, the questions, the progress, the boxes (no command line)
  Passive,  // the progress window only: no question, no box (/passive)
  Quiet,    // no window of any kind (/quiet, and the finishing step at the start of Windows)
};

// Process-wide; Full until set. Set before the first window, from the one thread that shows windows.
void setUiMode(UiMode mode);
UiMode uiMode();

}  // namespace quillon
