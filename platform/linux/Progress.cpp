// Linux body of the progress display (platform/ProgressDisplay.h): one line on the terminal, redrawn in
// place, when standard error is one; and Ctrl+C (SIGINT) as the Cancel button while cancelling is allowed.
// From the uninstall on, SIGINT is ignored until the process ends (the installer stand-in inherits that), so
// that a Ctrl+C can no longer leave the PC half replaced or a box's log line unwritten.
#include "platform/ProgressDisplay.h"

#include "platform/Text.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quillon {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

struct Display {
  bool open = false;
  bool terminal = false;
  bool cancellable = true;
  struct sigaction previous = {};
};

Display display;

void writeOut(const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t written = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a terminal that went away: the run goes on without its line
    done += static_cast<std::size_t>(written);
  }
}

// The columns a character takes: two for the wide East Asian ones the texts are made of, one for the rest.
int columnsOf(char16_t c) { return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xFFDC) ? 2 : 1; }

// The step, a bar where the run knows how far it is, and the detail; cut to the terminal's width so that
// the carriage return always goes back to the line's own start.
std::u16string lineFor(const ProgressView& view, int width) {
  std::u16string line = view.step;
  if (view.percent) {
    constexpr int kCells = 20;
    const int filled = *view.percent * kCells / 100;
    line += u" [" + std::u16string(static_cast<std::size_t>(filled), u'#') +
            std::u16string(static_cast<std::size_t>(kCells - filled), u'.') + u"] " +
            formatText(u"%d%%", {*view.percent});
  }
  if (!view.detail.empty()) line += u"  " + view.detail;
  int columns = 0;
  std::size_t kept = 0;
  while (kept < line.size() && columns + columnsOf(line[kept]) < width) columns += columnsOf(line[kept++]);
  return line.substr(0, kept);
}

int terminalWidth() {
  struct winsize size = {};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

}  // namespace

bool openProgressDisplay(const std::u16string&, const std::u16string&) {
  display = Display();
  display.open = true;
  display.terminal = ::isatty(STDERR_FILENO) != 0;
  interrupted = 0;
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &display.previous);
  return true;
}

void showOnProgressDisplay(const ProgressView& view) {
  if (!display.open) return;
  if (display.cancellable && !view.cancellable) {
    display.cancellable = false;
    std::signal(SIGINT, SIG_IGN);
  }
  if (display.terminal) writeOut("\r\033[K" + toUtf8(lineFor(view, terminalWidth())));
}

void serveProgressDisplay(std::chrono::milliseconds pause) {
  // A SIGINT cuts the sleep short (nanosleep returns whatever SA_RESTART says).
  const auto deadline = std::chrono::steady_clock::now() + pause;
  while (!interrupted) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return;
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    struct timespec wait = {static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
    ::nanosleep(&wait, nullptr);
  }
}

bool takeCancelPress() {
  const bool pressed = interrupted != 0;
  interrupted = 0;
  return pressed;
}

void closeProgressDisplay() {
  if (!display.open) return;
  display.open = false;
  if (display.terminal) writeOut("\r\033[K");
  // Before the uninstall, Ctrl+C ends the tool again as it does anywhere else; afterwards it stays ignored.
  if (display.cancellable) sigaction(SIGINT, &display.previous, nullptr);
}

}  // namespace quillon
