// Linux body of platform/ResumeSwitch.h: the process's arguments as the kernel keeps them.
#include "platform/ResumeSwitch.h"

#include "platform/Text.h"

#include <fstream>
#include <iterator>
#include <string>

namespace quillon {

bool resumeSwitchGiven() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::size_t start = all.find('\0');  // the program's own name is no argument
  while (start != std::string::npos && start + 1 < all.size()) {
    const std::size_t end = all.find('\0', start + 1);
    const std::string argument = all.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    if (equalsIgnoringAsciiCase(fromUtf8(argument), u"/resume") || equalsIgnoringAsciiCase(fromUtf8(argument), u"-resume")) {
      return true;
    }
    start = end;
  }
  return false;
}

}  // namespace quillon
