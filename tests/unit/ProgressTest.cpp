// What the progress shows for where the run is: the same on both builds, made from the catalogue.
#include "platform/ProgressDisplay.h"
#include "platform/StringTable.h"
#include "platform/Text.h"
#include "res/resource.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

using namespace quillon;

namespace {

std::u16string text(unsigned id) {
  char16_t loaded[256];
  loadString(id, loaded, 256);
  return loaded;
}

constexpr std::uint64_t MB = 1024 * 1024;

TEST(Progress, ShowsTheStepItsDetailTheBarAndWhetherItCanBeStopped) {
  struct Case {
    const char* name;
    ProgressState state;
    unsigned step;
    std::u16string detail;
    std::optional<int> percent;
    bool cancellable;
  };
  const auto downloading = [](std::uint64_t received, std::optional<std::uint64_t> total) {
    ProgressState state;
    state.step = ProgressStep::Downloading;
    state.received = received;
    state.total = total;
    return state;
  };
  const auto at = [](ProgressStep step, bool cancellable, bool cancelling = false) {
    ProgressState state;
    state.step = step;
    state.cancellable = cancellable;
    state.cancelling = cancelling;
    return state;
  };
  ProgressState retrying = at(ProgressStep::Retrying, true);
  retrying.secondsLeft = 12;
  const std::u16string stopped = text(IDS_PROGRESS_DO_NOT_TURN_OFF);
  const Case cases[] = {
      {"connecting", at(ProgressStep::Connecting, true), IDS_PROGRESS_CONNECTING, u"", std::nullopt, true},
      {"downloading, a third", downloading(30 * MB, 90 * MB), IDS_PROGRESS_DOWNLOADING,
       u"30.0 MB / 90.0 MB を受信しました", 33, true},
      // A server that sends more than it announced never moves the bar past its end.
      {"more than announced", downloading(91 * MB, 90 * MB), IDS_PROGRESS_DOWNLOADING,
       u"91.0 MB / 90.0 MB を受信しました", 100, true},
      {"no length announced", downloading(MB / 2, std::nullopt), IDS_PROGRESS_DOWNLOADING, u"0.5 MB を受信しました",
       std::nullopt, true},
      {"an announced length of nothing", downloading(0, 0), IDS_PROGRESS_DOWNLOADING, u"0.0 MB を受信しました",
       std::nullopt, true},
      // Beyond 4 GB nothing wraps around.
      {"a huge package", downloading(5000 * MB, 10000 * MB), IDS_PROGRESS_DOWNLOADING,
       u"5000.0 MB / 10000.0 MB を受信しました", 50, true},
      {"before a retry", retrying, IDS_PROGRESS_RETRYING, u"12秒後に再試行します", std::nullopt, true},
      {"cancelled, ending", at(ProgressStep::Downloading, true, true), IDS_PROGRESS_CANCELLING,
       u"0.0 MB を受信しました", std::nullopt, false},
      {"uninstalling", at(ProgressStep::Uninstalling, false), IDS_PROGRESS_UNINSTALLING, stopped, std::nullopt, false},
      {"the pause", at(ProgressStep::Pausing, false), IDS_PROGRESS_PAUSING, stopped, std::nullopt, false},
      {"installing", at(ProgressStep::Installing, false), IDS_PROGRESS_INSTALLING, stopped, std::nullopt, false},
  };
  for (const Case& c : cases) {
    const ProgressView view = describeProgress(c.state);
    EXPECT_EQ(view.step, text(c.step)) << c.name;
    EXPECT_EQ(toUtf8(view.detail), toUtf8(c.detail)) << c.name;
    EXPECT_EQ(view.percent, c.percent) << c.name;
    EXPECT_EQ(view.cancellable, c.cancellable) << c.name;
  }
}

TEST(Progress, MegabytesAreRoundedDownSoNoPackageShowsWholeTooEarly) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "0.0 MB"}, {MB / 10 - 1, "0.0 MB"}, {MB - 1, "0.9 MB"}, {MB, "1.0 MB"}, {84 * MB + MB / 2, "84.5 MB"}};
  for (const auto& [bytes, shown] : cases) EXPECT_EQ(toUtf8(formatMegabytes(bytes)), shown) << bytes;
}

// The cancel rule, decided in one place for both displays: a press of Cancel stops the run before the
// uninstall, once, and never afterwards; a stopped run's pauses end at once.
TEST(Progress, ACancelCountsOnlyBeforeTheUninstall) {
  if (testing_support::runsOnWindows()) GTEST_SKIP() << "the unit tests carry no progress window to cancel";
  const struct {
    const char* what;
    std::vector<ProgressStep> steps;  // shown before Ctrl+C, the Linux build's Cancel
    bool cancelled;
  } cases[] = {
      {"connecting", {ProgressStep::Connecting}, true},
      {"downloading", {ProgressStep::Connecting, ProgressStep::Downloading}, true},
      {"before a retry", {ProgressStep::Retrying}, true},
      // Last: from the uninstall on, Ctrl+C stays ignored for the rest of the process.
      {"the uninstall begun", {ProgressStep::Downloading, ProgressStep::Uninstalling}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    openProgress();
    EXPECT_FALSE(cancelRequested());
    for (const ProgressStep step : c.steps) showProgressStep(step);
    std::raise(SIGINT);
    EXPECT_EQ(cancelRequested(), c.cancelled);
    std::raise(SIGINT);  // a second press changes nothing
    EXPECT_EQ(cancelRequested(), c.cancelled);
    EXPECT_EQ(waitBeforeRetry(std::chrono::milliseconds(c.cancelled ? 60'000 : 1)), !c.cancelled);
    showProgressStep(ProgressStep::Installing);  // a cancelled run stays cancelled
    EXPECT_EQ(cancelRequested(), c.cancelled);
    closeProgress();
  }
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace
