// The catalogue as the running program loads it: on Windows from the compiled string table.
#include "platform/StringTable.h"
#include "platform/Text.h"
#include "res/Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace quillon;

namespace {

struct SourceEntry {
  unsigned id;
  std::u16string text;
};

// The catalogue's source, compiled here as C++ literals: what the string table must hold, unit for unit.
const SourceEntry kSource[] = {
#define QUILLON_MESSAGE(id, text) {id, u"" text},
#include "res/Messages.inc"
#undef QUILLON_MESSAGE
};

std::u16string load(unsigned id) { return LoadMessageText(id); }

TEST(Messages, EveryEntryLoadsExactlyAsWritten) {
  EXPECT_EQ(std::size(kSource), 90u);
  for (const SourceEntry& entry : kSource) EXPECT_EQ(load(entry.id), entry.text) << entry.id;
}

TEST(Messages, KeyTextsAreByteExact) {
  EXPECT_EQ(toUtf8(load(IDS_TOOL_CAPTION)), "Quillon移行ツール");
  EXPECT_EQ(toUtf8(load(IDS_ALREADY_RUNNING)), "Quillon移行ツールはすでに実行中の為、終了します。");
  EXPECT_EQ(toUtf8(load(IDS_MSI_URL_KEY_MISSING)), "AGENT_MSI_URLキーが見つかりません。");
  EXPECT_EQ(toUtf8(load(IDS_CONFIRM_SETTINGS)),
            "以下の設定で認証しますか？\n\n認証先企業 %s\n企業コード %s\n認証コード %s");
}

TEST(Messages, EachLogTextIsItsBoxTextWithoutTheLineFeed) {
  const std::pair<unsigned, unsigned> pairs[] = {
      {IDS_DOWNLOAD_FAILED, IDS_DOWNLOAD_FAILED_LOG}, {IDS_AGENT_NOT_FOUND, IDS_AGENT_NOT_FOUND_LOG},
      {IDS_SETTINGS_FAULTY, IDS_SETTINGS_FAULTY_LOG}, {IDS_UNINSTALL_FAILED, IDS_UNINSTALL_FAILED_LOG},
      {IDS_URL_NOT_FOUND, IDS_URL_NOT_FOUND_LOG},     {IDS_INSTALL_FAILED, IDS_INSTALL_FAILED_LOG},
      {IDS_FILE_MISSING, IDS_FILE_MISSING_LOG},       {IDS_COMMAND_LINE_REFUSED, IDS_COMMAND_LINE_REFUSED_LOG},
      {IDS_ALREADY_MIGRATED, IDS_ALREADY_MIGRATED_LOG}, {IDS_RECORDED_AGENT_KEPT, IDS_RECORDED_AGENT_KEPT_LOG},
  };
  for (const auto& [box, log] : pairs) {
    std::u16string text = load(box);
    ASSERT_EQ(std::count(text.begin(), text.end(), u'\n'), 1) << box;
    text.erase(text.find(u'\n'), 1);
    EXPECT_EQ(text, load(log)) << box << " / " << log;
  }
  EXPECT_EQ(load(IDS_DOWNLOAD_FAILED), load(IDS_URL_NOT_FOUND));
  EXPECT_EQ(load(IDS_DOWNLOAD_FAILED_LOG), load(IDS_URL_NOT_FOUND_LOG));
}

// The formats are filled in before anything is shown or logged; no other text holds a per-cent sign.
TEST(Messages, NoLoggedTextHoldsAPerCentSignAndAllFitTheBuffer) {
  const unsigned formats[] = {IDS_CONFIRM_SETTINGS,  IDS_CHECK_SERVER,        IDS_CHECK_SCRIPT_STEP,
                              IDS_CHECK_SCRIPT_OK,   IDS_CHECK_DOWNLOAD_STEP, IDS_CHECK_DOWNLOAD_OK,
                              IDS_CHECK_PACKAGE_OK,  IDS_CHECK_STEP_FAILED,   IDS_CHECK_FAILED,
                              IDS_CHECK_LOG_FILE, IDS_PROGRESS_RECEIVED_OF_TOTAL, IDS_PROGRESS_RECEIVED,
                              IDS_PROGRESS_SECONDS_LEFT, IDS_TERMS_NOT_ACCEPTED_LOG, IDS_COMMAND_LINE_REFUSED,
                              IDS_COMMAND_LINE_REFUSED_LOG, IDS_SETTINGS_LOGGED};
  for (const SourceEntry& entry : kSource) {
    EXPECT_LT(entry.text.size(), 256u) << entry.id;
    if (std::find(std::begin(formats), std::end(formats), entry.id) == std::end(formats)) {
      EXPECT_EQ(entry.text.find(u'%'), std::u16string::npos) << entry.id;
    }
  }
}

TEST(Messages, TheConfirmationQuestionShowsTheValuesOnePerLine) {
  const std::u16string question = formatText(load(IDS_CONFIRM_SETTINGS), {u"A", u"B", u"C"});
  EXPECT_EQ(toUtf8(question), "以下の設定で認証しますか？\n\n認証先企業 A\n企業コード B\n認証コード C");
}

TEST(Messages, BuffersAreSharedAndEachLoadOverwritesItsOwn) {
  const char16_t* caption = LoadToolCaption();
  const char16_t* first = LoadMessageText(IDS_TERMS_AGREED);
  const char16_t* second = LoadMessageText(IDS_TERMS_DECLINED);
  EXPECT_EQ(first, MessageText);
  EXPECT_EQ(second, MessageText);
  EXPECT_EQ(caption, MessageCaption);
  EXPECT_EQ(std::u16string(first), u"利用規約に同意しませんでした。");  // the first pointer shows the second load
  EXPECT_EQ(std::u16string(caption), u"Quillon移行ツール");             // untouched by message loads
}

TEST(Messages, AnUnknownIdLoadsNothing) {
  char16_t buffer[8] = u"junk";
  EXPECT_EQ(loadString(121, buffer, 8), 0);
  EXPECT_EQ(buffer[0], 0);
}

}  // namespace
