#include "transfer/evacuation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

class Evacuation : public ::testing::Test {
 protected:
  Evacuation() : watch_(root_ / "watch"), backup_(root_ / "bkup") {
    fs::create_directories(watch_);
  }

  void Evacuate(const std::string& pattern, const std::string& slot) {
    EvacuateWatchFolder(slot, pattern, {root_.path(), root_.path().string()},
                        [this](std::string_view line) { reports_.emplace_back(line); });
  }
  void Evacuate(const std::string& pattern) { Evacuate(pattern, watch_.string()); }

  TempDir root_;
  const fs::path watch_;
  const fs::path backup_;
  std::vector<std::string> reports_;
};

TEST_F(Evacuation, MovesImagesOfEitherCaseIntoTheBackupFolder) {
  WriteFileBytes(watch_ / "a.jpg", "a");
  WriteFileBytes(watch_ / "b.JPG", "b");
  WriteFileBytes(watch_ / "c.bmp", "c");
  WriteFileBytes(watch_ / "notes.txt", "n");
  Evacuate("*.jpg");
  Evacuate("*.bmp");
  EXPECT_EQ(ReadFileBytes(backup_ / "a.jpg"), "a");
  EXPECT_EQ(ReadFileBytes(backup_ / "b.JPG"), "b");
  EXPECT_EQ(ReadFileBytes(backup_ / "c.bmp"), "c");
  EXPECT_FALSE(fs::exists(watch_ / "a.jpg"));
  EXPECT_FALSE(fs::exists(watch_ / "b.JPG"));
  EXPECT_FALSE(fs::exists(watch_ / "c.bmp"));
  EXPECT_TRUE(fs::exists(watch_ / "notes.txt"));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(Evacuation, ReplacesAnOlderBackupOfTheSameName) {
  fs::create_directories(backup_);
  WriteFileBytes(backup_ / "a.jpg", "older");
  WriteFileBytes(watch_ / "a.jpg", "newer");
  Evacuate("*.jpg");
  EXPECT_EQ(ReadFileBytes(backup_ / "a.jpg"), "newer");
  EXPECT_FALSE(fs::exists(watch_ / "a.jpg"));
}

TEST_F(Evacuation, CreatesTheBackupFolderEvenWithoutImages) {
  fs::remove(watch_);
  Evacuate("*.jpg");
  EXPECT_TRUE(fs::is_directory(backup_));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(Evacuation, FileThatCannotBeMovedStaysAndIsReported) {
  fs::create_directories(backup_ / "a.jpg");
  WriteFileBytes(backup_ / "a.jpg" / "inside", "blocks the name");
  WriteFileBytes(watch_ / "a.jpg", "a");
  WriteFileBytes(watch_ / "b.jpg", "b");
  Evacuate("*.jpg");
  EXPECT_EQ(ReadFileBytes(watch_ / "a.jpg"), "a");
  EXPECT_EQ(ReadFileBytes(backup_ / "b.jpg"), "b");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("a.jpg"), std::string::npos);
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
