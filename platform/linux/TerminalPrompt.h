// The Linux stand-in for modal windows: a question on the terminal, answered by a typed line. When stdin
// is not a terminal (a script or a test), one answer per line is read from it without prompting.
#pragma once

#include <string>
#include <vector>

namespace quillon {

struct PromptChoice {
  std::string key;    // what the user types, such as "y"; matched without regard to case
  std::string label;  // what the button says, such as "はい(Y)"
  int result;         // what choosing it returns
};

// Shows the window's caption and text and its choices, and waits for an answer. An empty line chooses
// the default choice; the end of input is the window's close button and gives `closeResult`. A line that
// matches nothing is asked again.
int promptOnTerminal(const std::u16string& caption, const std::u16string& text, const std::vector<PromptChoice>& choices,
                     int defaultResult, int closeResult);

}  // namespace quillon
