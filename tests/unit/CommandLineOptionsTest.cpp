// The tool's command line, and what its modes allow the boxes and the dialog: the same on both builds.
#include "app/CommandLineOptions.h"
#include "app/LicenseDialog.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/UiMode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;

namespace {

using Request = CommandLineOptions::Request;

TEST(CommandLineOptions, EachLineGivesItsRequestModeAndSwitches) {
  struct Case {
    std::vector<std::u16string> arguments;
    Request request;
    UiMode mode;
    bool acceptTerms;
    bool lacksAcceptance;
    std::u16string modeSwitch;  // as written
    std::u16string refusal;
  };
  const Case cases[] = {
      // Without arguments, the interactive tool.
      {{}, Request::Run, UiMode::Full, false, false, u"", u""},
      {{u"/quiet", u"/AcceptTerms"}, Request::Run, UiMode::Quiet, true, false, u"/quiet", u""},
      // Any case, "-" as well as "/", in any order.
      {{u"-acceptterms", u"-QUIET"}, Request::Run, UiMode::Quiet, true, false, u"-QUIET", u""},
      {{u"/Passive", u"/ACCEPTTERMS"}, Request::Run, UiMode::Passive, true, false, u"/Passive", u""},
      {{u"/quiet"}, Request::Run, UiMode::Quiet, false, true, u"/quiet", u""},
      {{u"-passive"}, Request::Run, UiMode::Passive, false, true, u"-passive", u""},
      // The terms accepted for the organisation; every window still shown.
      {{u"/AcceptTerms"}, Request::Run, UiMode::Full, true, false, u"", u""},
      // The finishing step is quiet and needs no acceptance; /quiet beside it says the same.
      {{u"/resume"}, Request::Run, UiMode::Quiet, false, false, u"/resume", u""},
      {{u"/resume", u"/quiet"}, Request::Run, UiMode::Quiet, false, false, u"/quiet", u""},
      {{u"/?"}, Request::Usage, UiMode::Full, false, false, u"", u""},
      {{u"-?"}, Request::Usage, UiMode::Full, false, false, u"", u""},
      // Asked beside a mode, the usage still wins; the mode decides whether a box may show it.
      {{u"/quiet", u"/?"}, Request::Usage, UiMode::Quiet, false, true, u"/quiet", u""},
      // Refused: the first fault in the order given, the arguments as written.
      {{u"/x"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(/x)"},
      {{u"quiet"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(quiet)"},
      {{u"/"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(/)"},
      {{u""}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown()"},
      {{u"/quietly"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(/quietly)"},
      {{u"/quiet:1"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(/quiet:1)"},
      {{u"\uFF0Fquiet"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(\uFF0Fquiet)"},
      {{u"/help"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(/help)"},
      // A control character never reaches the run log as itself.
      {{u"/a\r\nb\x7F"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(/a??b?)"},
      {{u"/quiet", u"-Quiet", u"/AcceptTerms"}, Request::Refused, UiMode::Quiet, true, false, u"/quiet",
       u"Repeated(-Quiet)"},
      {{u"/AcceptTerms", u"/passive", u"/acceptterms"}, Request::Refused, UiMode::Passive, true, false, u"/passive",
       u"Repeated(/acceptterms)"},
      {{u"/?", u"/?"}, Request::Refused, UiMode::Full, false, false, u"", u"Repeated(/?)"},
      // Both modes: the quiet one wins for what may be shown, so the refusal shows no box.
      {{u"/quiet", u"/passive", u"/AcceptTerms"}, Request::Refused, UiMode::Quiet, true, false, u"/quiet",
       u"Conflict(/quiet /passive)"},
      {{u"-PASSIVE", u"/resume"}, Request::Refused, UiMode::Quiet, false, false, u"/resume",
       u"Conflict(-PASSIVE /resume)"},
      // An unknown argument refuses the line even beside /quiet, which still forbids the box.
      {{u"/foo", u"/quiet", u"/AcceptTerms"}, Request::Refused, UiMode::Quiet, true, false, u"/quiet",
       u"Unknown(/foo)"},
      {{u"/?", u"/x"}, Request::Refused, UiMode::Full, false, false, u"", u"Unknown(/x)"},
      {{u"/x", u"/quiet", u"/quiet"}, Request::Refused, UiMode::Quiet, false, true, u"/quiet", u"Unknown(/x)"},
  };
  for (const Case& c : cases) {
    std::u16string line;
    for (const std::u16string& argument : c.arguments) line += u"[" + argument + u"]";
    SCOPED_TRACE(toUtf8(line));
    const CommandLineOptions options = parseCommandLine(c.arguments);
    EXPECT_EQ(options.request, c.request);
    EXPECT_EQ(options.mode, c.mode);
    EXPECT_EQ(options.acceptTerms, c.acceptTerms);
    EXPECT_EQ(options.lacksAcceptance(), c.lacksAcceptance);
    EXPECT_EQ(toUtf8(options.modeSwitch), toUtf8(c.modeSwitch));
    EXPECT_EQ(toUtf8(options.refusal), toUtf8(c.refusal));
  }
}

TEST(CommandLineOptions, TheRunLogShowsTheArgumentsOnOneLine) {
  EXPECT_EQ(argumentsForLog({}), u"");
  EXPECT_EQ(argumentsForLog({u"/quiet", u"/AcceptTerms"}), u"/quiet /AcceptTerms");
  EXPECT_EQ(argumentsForLog({u"a b", u"x\ny\tz", u""}), u"a b x?y?z ");
}

// Sets the run's mode for one test and puts the interactive one back.
class ModeForTest {
 public:
  explicit ModeForTest(UiMode mode) { setUiMode(mode); }
  ~ModeForTest() { setUiMode(UiMode::Full); }
};

// Where no box may be shown, none is: the caller goes on at once as if it had been closed, and a question
// counts as not answered yes. (Shown, a box here would wait for an answer the test never gives.)
TEST(CommandLineOptions, TheQuietAndPassiveModesShowNoBoxAndNoTermsDialog) {
  for (const UiMode mode : {UiMode::Quiet, UiMode::Passive}) {
    SCOPED_TRACE(static_cast<int>(mode));
    const ModeForTest scope(mode);
    EXPECT_EQ(showMessageBox(u"text", u"caption", kBoxOk | kBoxIconWarning), kIdOk);
    EXPECT_EQ(showMessageBox(u"text", u"caption", kBoxOk | kBoxIconInformation), kIdOk);
    EXPECT_EQ(showMessageBox(u"question", u"caption", kBoxYesNo), kIdNo);
    CLicenseDialog dialog;
    EXPECT_EQ(dialog.DoModal(), -1);
  }
}

}  // namespace
