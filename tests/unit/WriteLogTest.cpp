// The run log's bytes on disk, on both builds.
#include "log/RunLogFile.h"
#include "log/WriteLog.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

using namespace quillon;
using namespace testing_support;

namespace {

const std::string kBom = "\xFF\xFE";
const std::string kCrLf = std::string("\r\0\n\0", 4);

class WriteLogTest : public ::testing::Test {
 protected:
  TempDirectory temp;
  ScopedTempEnvironment environment{temp.path()};
  fs::path logFile = toPath(runLogPath());

  static void writeExample(const char16_t* message = u"CreateMutex Error(5)") {
    WriteLog(u"Helper.cpp", u"Helper::isAlreadyRunning", 428, u"ERROR", message);
  }
  static std::u16string tail(const char16_t* message) {
    return std::u16string(u" ERROR FILE:Helper.cpp FUNCTION:Helper::isAlreadyRunning LINE:428 ") + message;
  }
  static std::string stamp(const LogTime& t) {
    return toUtf8(formatText(u"%04d/%02d/%02d %02d:%02d:%02d", {t.year, t.month, t.day, t.hour, t.minute, t.second}));
  }
};

TEST_F(WriteLogTest, LivesInTheTemporaryFolder) {
  EXPECT_TRUE(fs::equivalent(logFile.parent_path(), temp.path()));
  EXPECT_EQ(logFile.filename().string(), "QuillonMigrationTool.log");
}

// The server check program keeps its lines out of the users' migration log.
TEST_F(WriteLogTest, AProgramMayNameItsOwnLog) {
  setRunLogFileName(u"QuillonServerCheck.log");
  writeExample();
  setRunLogFileName(kRunLogFileName);
  EXPECT_FALSE(fs::exists(logFile));
  EXPECT_EQ(readBytes(temp.path() / "QuillonServerCheck.log").substr(2 + 38),
            toUtf16le(tail(u"CreateMutex Error(5)")) + kCrLf);
}

TEST_F(WriteLogTest, FirstEntryCreatesTheFileWithAByteOrderMark) {
  const std::string before = stamp(currentLocalTime());
  writeExample();
  const std::string after = stamp(currentLocalTime());

  const std::string bytes = readBytes(logFile);
  ASSERT_GE(bytes.size(), 2 + 38u + 4);
  EXPECT_EQ(bytes.substr(0, 2), kBom);
  const std::string timestamp = toUtf8(std::u16string(reinterpret_cast<const char16_t*>(bytes.data() + 2), 19));
  EXPECT_GE(timestamp, before);
  EXPECT_LE(timestamp, after);
  EXPECT_EQ(bytes.substr(2 + 38), toUtf16le(tail(u"CreateMutex Error(5)")) + kCrLf);
}

TEST_F(WriteLogTest, LaterEntriesFollowWithoutASecondMark) {
  writeExample(u"one");
  writeExample(u"two");
  const std::string bytes = readBytes(logFile);
  const std::string first = toUtf16le(tail(u"one")) + kCrLf;
  const std::string second = toUtf16le(tail(u"two")) + kCrLf;
  ASSERT_EQ(bytes.size(), 2 + 38 + first.size() + 38 + second.size());
  EXPECT_EQ(bytes.substr(0, 2), kBom);
  EXPECT_EQ(bytes.substr(2 + 38, first.size()), first);
  EXPECT_EQ(bytes.substr(2 + 38 + first.size() + 38), second);
  EXPECT_EQ(bytes.find(kBom, 2), std::string::npos);
}

TEST_F(WriteLogTest, AppendsToAnExistingFileAndMarksOnlyAnEmptyOne) {
  const struct {
    const char* what;
    std::string existing;
    std::string expectedStart;
  } cases[] = {
      {"earlier log", kBom + toUtf16le(u"earlier") + kCrLf, kBom + toUtf16le(u"earlier") + kCrLf},
      {"no mark of its own", "abc", "abc"},
      {"empty file", "", kBom},
  };
  for (const auto& c : cases) {
    writeBytes(logFile, c.existing);
    writeExample();
    const std::string bytes = readBytes(logFile);
    EXPECT_EQ(bytes.substr(0, c.expectedStart.size()), c.expectedStart) << c.what;
    EXPECT_EQ(bytes.size(), c.expectedStart.size() + 38 + toUtf16le(tail(u"CreateMutex Error(5)")).size() + 4) << c.what;
  }
}

TEST_F(WriteLogTest, WritesTheMessageAsItIs) {
  const struct {
    const char16_t* message;
    std::string written;
  } cases[] = {
      {u"100%", toUtf16le(u"100%")},
      {u"%s %d", toUtf16le(u"%s %d")},
      {u"two\nlines", toUtf16le(u"two") + kCrLf + toUtf16le(u"lines")},
      {u"", ""},
      {u"利用規約に同意しました。", toUtf16le(u"利用規約に同意しました。")},
  };
  for (const auto& c : cases) {
    boost::filesystem::remove(logFile);
    writeExample(c.message);
    const std::string bytes = readBytes(logFile);
    EXPECT_EQ(bytes.substr(2 + 38), toUtf16le(tail(u"")) + c.written + kCrLf) << toUtf8(c.message);
  }
}

TEST_F(WriteLogTest, AnOverlongEntryIsCutAndStillEndsItsLine) {
  writeExample(std::u16string(400, u'x').c_str());
  writeExample(u"next");
  const std::string bytes = readBytes(logFile);
  // 255 units with the line feed, which is written as CR LF: 256 units, 512 bytes.
  ASSERT_GT(bytes.size(), 2 + 512u);
  EXPECT_EQ(bytes.substr(2 + 512 - 4, 4), kCrLf);
  EXPECT_EQ(bytes.substr(2 + 512 + 38), toUtf16le(tail(u"next")) + kCrLf);
}

TEST_F(WriteLogTest, AnEntryThatCannotBeWrittenIsLostQuietly) {
  {
    SCOPED_TRACE("held open by another program");
    writeBytes(logFile, "old");
    HeldFile held(logFile);
    ASSERT_TRUE(held.isHeld());
    writeExample();
    EXPECT_EQ(readBytes(logFile), "old");
  }
  {
    SCOPED_TRACE("a folder in the file's place");
    boost::filesystem::remove(logFile);
    boost::filesystem::create_directory(logFile);
    writeExample();
    EXPECT_TRUE(boost::filesystem::is_directory(logFile));
    boost::filesystem::remove(logFile);
  }
  {
    SCOPED_TRACE("temporary folder missing");
    ScopedTempEnvironment gone(temp.path() / "missing");
    writeExample();
    EXPECT_FALSE(boost::filesystem::exists(temp.path() / "missing"));
  }
}

TEST_F(WriteLogTest, ALinkedLogIsNeverWrittenThroughAndStartsAnewAsAFileOfItsOwn) {
  const struct {
    const char* what;
    bool symbolic;
  } cases[] = {{"a hard link", false}, {"a symbolic link", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.symbolic && runsOnWindows()) continue;  // Wine 8 makes no symbolic links of its own
    const fs::path other = temp.path() / "other.txt";
    writeBytes(other, "someone else's file");
    boost::filesystem::remove(logFile);
    if (c.symbolic) {
      boost::filesystem::create_symlink(other, logFile);
    } else {
      boost::filesystem::create_hard_link(other, logFile);
    }
    writeExample();
    EXPECT_EQ(readBytes(other), "someone else's file");
    EXPECT_FALSE(boost::filesystem::is_symlink(logFile));
    EXPECT_EQ(boost::filesystem::hard_link_count(logFile), 1u);
    EXPECT_EQ(readBytes(logFile).substr(2 + 38), toUtf16le(tail(u"CreateMutex Error(5)")) + kCrLf);
  }
}

TEST_F(WriteLogTest, AReadOnlyFileIsLeftAsItIs) {
  writeBytes(logFile, "old");
  if (!makeReadOnly(logFile)) GTEST_SKIP() << "this platform does not enforce read-only files for us";
  writeExample();
  EXPECT_EQ(readBytes(logFile), "old");
}

TEST_F(WriteLogTest, TheNextEntryAfterALostOneIsWritten) {
  writeBytes(logFile, "");
  {
    HeldFile held(logFile);
    writeExample(u"lost");
  }
  writeExample(u"kept");
  const std::string bytes = readBytes(logFile);
  EXPECT_EQ(bytes.substr(0, 2), kBom);
  EXPECT_EQ(bytes.substr(2 + 38), toUtf16le(tail(u"kept")) + kCrLf);
}

}  // namespace
