#include "transfer/evacuation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

class Evacuation : public ::testing::Test {
 protected:
  Evacuation() : watch_(root_ / "watch"), backup_(root_ / "bkup") {
    fs::create_directories(watch_);
  }

  void Evacuate(const std::string& pattern, const std::string& slot) {
    EvacuateWatchFolder(Cp932Text(slot), pattern, {root_.path(), Cp932Text(root_.path().string())},
                        [this](const OwnMessage& message) {
                          reports_.push_back(message.english);
                          japanese_reports_.push_back(message.japanese);
                        });
  }
  void Evacuate(const std::string& pattern) { Evacuate(pattern, watch_.string()); }

  TempDir root_;
  const fs::path watch_;
  const fs::path backup_;
  std::vector<std::string> reports_;
  std::vector<std::string> japanese_reports_;  // the window's wording
};

TEST_F(Evacuation, MovesImagesOfEitherCaseIntoTheBackupFolder) {
  for (const char* name : {"a.jpg", "b.JPG", "c.bmp", "notes.txt"})
    WriteFileBytes(watch_ / name, name);
  Evacuate("*.jpg");
  Evacuate("*.bmp");
  for (const char* name : {"a.jpg", "b.JPG", "c.bmp"})
    EXPECT_EQ(ReadFileBytes(backup_ / name), name);
  EXPECT_EQ(FolderEntries(watch_), std::vector<std::string>{"notes.txt"});
  EXPECT_TRUE(reports_.empty());
}

// A still the journal says is not yet sent stays for its transfer; a file that took its name
// since is another file, and goes.
TEST_F(Evacuation, JournalledStillsStay) {
  WriteFileBytes(watch_ / "waiting.jpg", "not yet sent");
  WriteFileBytes(watch_ / "old.jpg", "old");
  const StillIdentity waiting = IdentityOf(*QueryDirectoryEntry(watch_, "waiting.jpg"));
  WriteFileBytes(watch_ / "replaced.jpg", "journalled");
  const StillIdentity replaced = IdentityOf(*QueryDirectoryEntry(watch_, "replaced.jpg"));
  WriteFileBytes(root_ / "new", "saved over");  // made first, so it has another inode
  fs::rename(root_ / "new", watch_ / "replaced.jpg");
  EvacuateWatchFolder(Cp932Text(watch_.string()), "*.jpg",
                      {root_.path(), Cp932Text(root_.path().string())},
                      [this](const OwnMessage& message) { reports_.push_back(message.english); },
                      {waiting, replaced});
  EXPECT_EQ(FolderEntries(watch_), std::vector<std::string>{"waiting.jpg"});
  EXPECT_EQ(ReadFileBytes(backup_ / "replaced.jpg"), "saved over");
}

// Across file systems the move is a synced copy that takes its name only when it is free.
TEST_F(Evacuation, AcrossFileSystemsCopiesUnderTheNextFreeNameAndRemovesTheSource) {
  std::string pattern = "/dev/shm/velmarin-evacuation-XXXXXX";
  if (!fs::is_directory("/dev/shm") || mkdtemp(pattern.data()) == nullptr) {
    GTEST_SKIP() << "no /dev/shm";
  }
  const fs::path watch = pattern;
  struct stat a {
  }, b{};
  if (stat(watch.c_str(), &a) != 0 || stat(root_.path().c_str(), &b) != 0 || a.st_dev == b.st_dev) {
    fs::remove_all(watch);
    GTEST_SKIP() << "/dev/shm is on the file system of the temporary folder";
  }
  fs::create_directories(backup_);
  WriteFileBytes(backup_ / "a.jpg", "older");
  WriteFileBytes(watch / "a.jpg", "newer");
  Evacuate("*.jpg", watch.string());
  EXPECT_FALSE(fs::exists(watch / "a.jpg"));
  fs::remove_all(watch);
  EXPECT_EQ(ReadFileBytes(backup_ / "a.jpg"), "older");
  EXPECT_EQ(ReadFileBytes(backup_ / "a_1.jpg"), "newer");
  EXPECT_EQ(FolderEntries(backup_), (std::vector<std::string>{"a.jpg", "a_1.jpg"}));
  EXPECT_TRUE(reports_.empty());
}

// A capture program that reuses names must not cost the copy evacuated at an earlier start.
TEST_F(Evacuation, NeverReplacesABackupAndTakesTheNextFreeName) {
  fs::create_directories(backup_ / "b_1.bmp");  // a folder takes a name too
  WriteFileBytes(backup_ / "a.jpg", "older");
  WriteFileBytes(backup_ / "a_1.jpg", "older still");
  WriteFileBytes(backup_ / "b.bmp", "older b");
  WriteFileBytes(watch_ / "a.jpg", "newer");
  WriteFileBytes(watch_ / "b.bmp", "newer b");
  WriteFileBytes(watch_ / "noext.JPG.x", "c");
  Evacuate("*.jpg");
  Evacuate("*.bmp");
  Evacuate("*.x");
  EXPECT_EQ(ReadFileBytes(backup_ / "a.jpg"), "older");
  EXPECT_EQ(ReadFileBytes(backup_ / "a_1.jpg"), "older still");
  EXPECT_EQ(ReadFileBytes(backup_ / "a_2.jpg"), "newer");
  EXPECT_EQ(ReadFileBytes(backup_ / "b.bmp"), "older b");
  EXPECT_EQ(ReadFileBytes(backup_ / "b_2.bmp"), "newer b");
  EXPECT_EQ(ReadFileBytes(backup_ / "noext.JPG.x"), "c");
  EXPECT_TRUE(fs::is_empty(watch_));
  EXPECT_TRUE(reports_.empty());
}

// The work files are deleted for every image; an image of their name must not become one.
TEST_F(Evacuation, ImagesNamedLikeTheWorkFilesGetOtherNames) {
  WriteFileBytes(watch_ / "444.jpg", "image 444");
  WriteFileBytes(watch_ / "temp.jpg", "image temp");
  Evacuate("*.jpg");
  EXPECT_EQ(ReadFileBytes(backup_ / "444_1.jpg"), "image 444");
  EXPECT_EQ(ReadFileBytes(backup_ / "temp_1.jpg"), "image temp");
  EXPECT_FALSE(fs::exists(backup_ / "444.jpg"));
  EXPECT_FALSE(fs::exists(backup_ / "temp.jpg"));
}

TEST_F(Evacuation, CreatesTheBackupFolderEvenWithoutImages) {
  fs::remove(watch_);
  Evacuate("*.jpg");
  EXPECT_TRUE(fs::is_directory(backup_));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(Evacuation, FileThatCannotBeMovedStaysAndIsReported) {
  WriteFileBytes(watch_ / "a.jpg", "a");
  fs::permissions(watch_, fs::perms::owner_read | fs::perms::owner_exec);  // no removal
  const std::string reports = RunUnprivileged(root_.path(), [&] {
    Evacuate("*.jpg");
    std::string joined;
    for (const std::string& line : reports_) joined += line + "\n";
    return joined;
  });
  fs::permissions(watch_, fs::perms::owner_all);
  EXPECT_EQ(ReadFileBytes(watch_ / "a.jpg"), "a");
  EXPECT_TRUE(fs::is_empty(backup_));
  EXPECT_EQ(reports.rfind("not evacuated: " + (watch_ / "a.jpg").string(), 0), 0u) << reports;
}

TEST_F(Evacuation, LeavesEntriesThatAreNotRegularFiles) {
  fs::create_directories(watch_ / "folder.jpg");
  ASSERT_EQ(mkfifo((watch_ / "fifo.jpg").c_str(), 0600), 0);
  Evacuate("*.jpg");
  EXPECT_TRUE(fs::is_directory(watch_ / "folder.jpg"));
  EXPECT_TRUE(fs::exists(watch_ / "fifo.jpg"));
  EXPECT_TRUE(fs::is_empty(backup_));
}

TEST_F(Evacuation, EmptyWatchFolderSettingMovesNothingAndSaysSo) {
  Evacuate("*.jpg", "");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(
      japanese_reports_,
      std::vector<std::string>{"監視フォルダが設定されていないか、フォルダ名に変換できないため、"
                               "画像を退避しませんでした。"});
  EXPECT_FALSE(fs::exists(backup_));
}

TEST_F(Evacuation, BackupFolderAsWatchFolderIsLeftAlone) {
  fs::create_directories(backup_);
  WriteFileBytes(backup_ / "a.jpg", "a");
  Evacuate("*.jpg", backup_.string());
  EXPECT_EQ(ReadFileBytes(backup_ / "a.jpg"), "a");
  EXPECT_EQ(reports_.size(), 1u);
}

}  // namespace
}  // namespace velmarin::test
