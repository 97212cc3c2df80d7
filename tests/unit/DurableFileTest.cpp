// Files replaced so that a power cut leaves the old contents or the new ones: what is on the disk after a
// replacement or a removal, whatever was at the name or beside it, and who may open the new file.
#include "platform/DurableFile.h"
#include "platform/Paths.h"
#include "tests/unit/support/TestSupport.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <algorithm>

using namespace quillon;
using namespace testing_support;

namespace {

// What is at the file's name, or beside it, before the call.
enum class Before {
  Nothing,
  OldFile,
  LeftNewFile,         // the new file of a replacement cut short
  HardLinkAtName,      // the name is a second name of a file elsewhere
  SymbolicLinkAtName,  // the name is a symbolic link to a file elsewhere
  HardLinkAtNewName,
  SymbolicLinkAtNewName,
  NoFolder,
};

// Makes `name` a second name (hard link) or a symbolic link of `target`; false when this platform cannot.
// Wine reports symbolic links made that it never makes: only one that is there counts.
bool linkAt(const fs::path& name, const fs::path& target, bool symbolic) {
  boost::system::error_code error;
  if (!symbolic) {
    fs::create_hard_link(target, name, error);
    return !error;
  }
  fs::create_symlink(target, name, error);
  return !error && fs::is_symlink(fs::symlink_status(name));
}

// Puts what `before` says in `folder` for the file "journal"; false when this platform cannot make it.
bool prepare(Before before, const fs::path& folder, const fs::path& elsewhere) {
  const fs::path file = folder / "journal";
  const fs::path newFile = folder / "journal.new";
  switch (before) {
    case Before::Nothing:
      return true;
    case Before::OldFile:
      writeBytes(file, "old contents");
      return true;
    case Before::LeftNewFile:
      writeBytes(file, "old contents");
      writeBytes(newFile, "half a new");
      return true;
    case Before::HardLinkAtName:
      return linkAt(file, elsewhere, false);
    case Before::SymbolicLinkAtName:
      return linkAt(file, elsewhere, true);
    case Before::HardLinkAtNewName:
      return linkAt(newFile, elsewhere, false);
    case Before::SymbolicLinkAtNewName:
      return linkAt(newFile, elsewhere, true);
    case Before::NoFolder:
      fs::remove(folder);
      return true;
  }
  return false;
}

TEST(DurableFile, ReplacesWhateverIsAtTheNameAndNeverWritesThroughALink) {
  const struct {
    const char* what;
    Before before;
    std::string bytes;
    bool replaced;
  } cases[] = {
      {"a new file", Before::Nothing, "step=uninstall\n", true},
      {"an old file", Before::OldFile, "step=install\n", true},
      {"an old file, emptied", Before::OldFile, "", true},
      {"a larger file", Before::OldFile, std::string(3 << 20, 'x'), true},
      {"a new file left by a replacement cut short", Before::LeftNewFile, "step=install\n", true},
      {"a hard link at the name", Before::HardLinkAtName, "step=install\n", true},
      {"a symbolic link at the name", Before::SymbolicLinkAtName, "step=install\n", true},
      {"a hard link at the new file's name", Before::HardLinkAtNewName, "step=install\n", true},
      {"a symbolic link at the new file's name", Before::SymbolicLinkAtNewName, "step=install\n", true},
      {"a folder that does not exist", Before::NoFolder, "step=install\n", false},
  };
  int prepared = 0;
  for (const auto& c : cases) {
    TempDirectory temp;
    const fs::path folder = temp.path() / "data";
    const fs::path elsewhere = temp.path() / "elsewhere";
    fs::create_directory(folder);
    writeBytes(elsewhere, "another file");
    if (!prepare(c.before, folder, elsewhere)) continue;  // no symbolic links here (Wine, or the user's rights)
    ++prepared;
    const fs::path file = folder / "journal";

    const int result = replaceFileDurably(pathText(file), c.bytes);

    EXPECT_EQ(readBytes(elsewhere), "another file") << c.what;
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "journal.new"))) << c.what;
    if (!c.replaced) {
      EXPECT_NE(result, 0) << c.what;
      EXPECT_FALSE(fs::exists(folder)) << c.what;
      continue;
    }
    ASSERT_EQ(result, 0) << c.what;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file))) << c.what;
    EXPECT_EQ(readBytes(file), c.bytes) << c.what;
    const std::vector<std::string> forms = administratorsOnlyFileRights();
    const std::string rights = fileRights(file);
    EXPECT_NE(std::find(forms.begin(), forms.end(), rights), forms.end()) << c.what << ": " << rights;
    EXPECT_EQ(fs::hard_link_count(file), 1u) << c.what;
  }
  EXPECT_GE(prepared, 8);
}

TEST(DurableFile, RemovesTheEntryAndCallsAMissingFileRemoved) {
  const struct {
    const char* what;
    Before before;
  } cases[] = {
      {"a file", Before::OldFile},
      {"no file", Before::Nothing},
      {"no folder", Before::NoFolder},
      {"a hard link", Before::HardLinkAtName},
      {"a symbolic link", Before::SymbolicLinkAtName},
  };
  for (const auto& c : cases) {
    TempDirectory temp;
    const fs::path folder = temp.path() / "data";
    const fs::path elsewhere = temp.path() / "elsewhere";
    fs::create_directory(folder);
    writeBytes(elsewhere, "another file");
    if (!prepare(c.before, folder, elsewhere)) continue;

    EXPECT_EQ(removeFileDurably(pathText(folder / "journal")), 0) << c.what;
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "journal"))) << c.what;
    EXPECT_EQ(readBytes(elsewhere), "another file") << c.what;
  }
}

}  // namespace
