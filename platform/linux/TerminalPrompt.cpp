#include "platform/linux/TerminalPrompt.h"

#include "platform/Text.h"

#include <cctype>
#include <iostream>
#include <unistd.h>

namespace quillon {
namespace {

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

int promptOnTerminal(const std::u16string& caption, const std::u16string& text, const std::vector<PromptChoice>& choices,
                     int defaultResult, int closeResult) {
  const bool interactive = isatty(STDIN_FILENO) != 0;
  std::cout << "\n==== " << toUtf8(caption) << " ====\n" << toUtf8(text) << "\n";
  std::string menu;
  for (const PromptChoice& choice : choices) {
    if (!menu.empty()) menu += "  ";
    menu += "[" + choice.key + "] " + choice.label + (choice.result == defaultResult ? " (Enter)" : "");
  }
  std::cout << menu << std::endl;
  for (;;) {
    if (interactive) std::cout << "> " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return closeResult;
    const std::string answer = lowered(trimmed(line));
    if (answer.empty()) return defaultResult;
    for (const PromptChoice& choice : choices) {
      if (answer == lowered(choice.key)) return choice.result;
    }
    std::cout << "? " << menu << std::endl;
  }
}

}  // namespace quillon
