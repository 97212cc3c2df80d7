// The start of a run from its command line (app/CommandLineStart.h). Its log lines are the flow's: the run
// log names them as MigrationTool.cpp's (log/LogSites.inc).
#include "app/CommandLineStart.h"

#include "log/LogSite.h"
#include "platform/ConsoleOutput.h"
#include "platform/Desktop.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/UiMode.h"
#include "res/Messages.h"

namespace quillon {
namespace {

void logLine(const LogSite& site, unsigned textId) { WriteLog(site, LoadMessageText(textId)); }

void logFormatted(const LogSite& site, unsigned formatId, std::initializer_list<FormatArg> args) {
  WriteLog(site, formatText(LoadMessageText(formatId), args).c_str());
}

// Line by line, so that every line ends as the console or the file it goes to expects.
void writeLines(ConsoleOutput& console, std::u16string_view text) {
  for (std::size_t start = 0, end = 0; end != std::u16string_view::npos; start = end + 1) {
    end = text.find(u'\n', start);
    console.writeLine(text.substr(start, end == std::u16string_view::npos ? end : end - start));
  }
}

}  // namespace

std::optional<ToolExitCode> startFromCommandLine(const std::vector<std::u16string>& arguments,
                                                 CommandLineOptions& options) {
  options = parseCommandLine(arguments);
  if (!arguments.empty()) {
    WriteLog(logsite::FlowCommandLine, (u"Command Line(" + argumentsForLog(arguments) + u")").c_str());
  }
  // Where nobody can see a window, none is shown, whatever the command line asks.
  const bool visible = userCanSeeWindows();
  setUiMode(visible ? options.mode : UiMode::Quiet);

  if (options.request == CommandLineOptions::Request::Refused) {
    const std::u16string box = formatText(LoadMessageText(IDS_COMMAND_LINE_REFUSED), {options.refusal});
    showMessageBox(box.c_str(), LoadToolCaption(), kBoxOk | kBoxIconWarning);
    logFormatted(logsite::FlowCommandLineRefused, IDS_COMMAND_LINE_REFUSED_LOG, {options.refusal});
    return ToolExitCode::CommandLineRefused;
  }
  if (options.request == CommandLineOptions::Request::Usage) {
    // On the console of whoever started the tool where there is one; else in a box, where one may be shown.
    useParentConsole();
    ConsoleOutput console;
    const bool onConsole = !console.vanishesAtExit();
    if (!onConsole && !visible && options.mode != UiMode::Quiet) {
      logLine(logsite::FlowNoVisibleDesktop, IDS_NO_VISIBLE_DESKTOP_LOG);
      return ToolExitCode::NoVisibleDesktop;
    }
    if (onConsole) {
      writeLines(console, LoadMessageText(IDS_USAGE));
    } else {
      const char16_t* caption = LoadToolCaption();
      showMessageBox(LoadMessageText(IDS_USAGE), caption, kBoxOk | kBoxIconInformation);
    }
    logLine(logsite::FlowUsage, IDS_USAGE_LOG);
    return ToolExitCode::UsageShown;
  }
  if (!visible && options.mode != UiMode::Quiet) {
    logLine(logsite::FlowNoVisibleDesktop, IDS_NO_VISIBLE_DESKTOP_LOG);
    return ToolExitCode::NoVisibleDesktop;
  }
  if (options.lacksAcceptance()) {
    logFormatted(logsite::FlowTermsNotAccepted, IDS_TERMS_NOT_ACCEPTED_LOG, {options.modeSwitch});
    return ToolExitCode::TermsNotAccepted;
  }
  return std::nullopt;
}

}  // namespace quillon
