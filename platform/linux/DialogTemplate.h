// What the Linux build knows of a dialog template: its title and its controls, in template order (which
// is also the tab order). The templates themselves are resources (res/LinuxDialogs.cpp).
#pragma once

#include <string_view>
#include <vector>

namespace quillon {

struct DialogControlTemplate {
  enum class Kind { PushButton, DefaultButton, Edit, Label };
  int id;
  Kind kind;
  std::u16string_view text;
  const char* key;  // what the user types to press a button on the terminal
};

struct DialogTemplate {
  unsigned id;
  std::u16string_view title;
  std::vector<DialogControlTemplate> controls;
};

// The template with this id; null when the executable has none.
const DialogTemplate* findDialogTemplate(unsigned id);

}  // namespace quillon
