// The tool's command line (app/CommandLineOptions.h): shared by both builds.
#include "app/CommandLineOptions.h"

#include "platform/Text.h"

#include <array>
#include <optional>

namespace quillon {
namespace {

enum class Switch { Quiet, Passive, AcceptTerms, Usage, Resume };

constexpr std::array<std::pair<Switch, std::u16string_view>, 5> kSwitches = {{
    {Switch::Quiet, u"quiet"},
    {Switch::Passive, u"passive"},
    {Switch::AcceptTerms, u"AcceptTerms"},
    {Switch::Usage, u"?"},
    {Switch::Resume, u"resume"},
}};

constexpr std::size_t index(Switch which) { return static_cast<std::size_t>(which); }

std::optional<Switch> switchOf(std::u16string_view argument) {
  if (argument.size() < 2 || (argument[0] != u'/' && argument[0] != u'-')) return std::nullopt;
  for (const auto& [which, name] : kSwitches) {
    if (equalsIgnoringAsciiCase(argument.substr(1), name)) return which;
  }
  return std::nullopt;
}

std::u16string forLog(std::u16string_view argument) {
  std::u16string shown(argument);
  for (char16_t& c : shown) {
    if (c < 0x20 || c == 0x7F) c = u'?';
  }
  return shown;
}

}  // namespace

CommandLineOptions parseCommandLine(const std::vector<std::u16string>& arguments) {
  CommandLineOptions options;
  std::array<const std::u16string*, kSwitches.size()> given = {};  // each switch as first written
  auto refuse = [&](std::u16string refusal) {
    if (options.request == CommandLineOptions::Request::Refused) return;  // the first fault is the one named
    options.request = CommandLineOptions::Request::Refused;
    options.refusal = std::move(refusal);
  };

  for (const std::u16string& argument : arguments) {
    const std::optional<Switch> which = switchOf(argument);
    if (!which) {
      refuse(u"Unknown(" + forLog(argument) + u")");
      continue;
    }
    const std::u16string*& first = given[index(*which)];
    if (first != nullptr) {
      refuse(u"Repeated(" + forLog(argument) + u")");
      continue;
    }
    first = &argument;
    // The passive mode shows a window, the quiet mode and the finishing step none: never both.
    const std::u16string* other = nullptr;
    if (*which == Switch::Passive) {
      other = given[index(Switch::Quiet)] != nullptr ? given[index(Switch::Quiet)] : given[index(Switch::Resume)];
    } else if (*which == Switch::Quiet || *which == Switch::Resume) {
      other = given[index(Switch::Passive)];
    }
    if (other != nullptr) refuse(u"Conflict(" + forLog(*other) + u" " + forLog(argument) + u")");
  }

  const std::u16string* quiet = given[index(Switch::Quiet)];
  const std::u16string* passive = given[index(Switch::Passive)];
  const std::u16string* resume = given[index(Switch::Resume)];
  options.acceptTerms = given[index(Switch::AcceptTerms)] != nullptr;
  options.resume = resume != nullptr;
  // Whatever else the line holds, a switch that forbids windows forbids them: a refused line shows no box then.
  if (quiet != nullptr || resume != nullptr) {
    options.mode = UiMode::Quiet;
    options.modeSwitch = forLog(quiet != nullptr ? *quiet : *resume);
  } else if (passive != nullptr) {
    options.mode = UiMode::Passive;
    options.modeSwitch = forLog(*passive);
  }
  if (options.request != CommandLineOptions::Request::Refused &&
      given[index(Switch::Usage)] != nullptr) {
    options.request = CommandLineOptions::Request::Usage;
  }
  return options;
}

std::u16string argumentsForLog(const std::vector<std::u16string>& arguments) {
  std::u16string shown;
  for (const std::u16string& argument : arguments) {
    if (!shown.empty()) shown += u' ';
    shown += forLog(argument);
  }
  return shown;
}

}  // namespace quillon
