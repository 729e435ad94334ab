#include "transfer/watch_folder_scanner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> NamesOf(const std::vector<DirectoryEntry>& entries) {
  std::vector<std::string> names;
  for (const DirectoryEntry& entry : entries) names.push_back(entry.name);
  std::ranges::sort(names);
  return names;
}

class WatchFolderScannerTest : public ::testing::Test {
 protected:
  // A scanner on the real folder that counts its listings and the entries it looks at.
  WatchFolderScanner Scanner(std::chrono::nanoseconds check_interval = 1h,
                             std::chrono::nanoseconds fine_time = 2s) {
    WatchFolderScanner::Reader reader;
    reader.names = [this](const fs::path& folder) {
      ++listings_;
      auto names = ListDirectoryNames(folder);
      if (names && inode_of_name_) {
        for (DirectoryName& name : *names) name.inode = inode_of_name_(name.name);
      }
      return names;
    };
    reader.query = [this](const fs::path& folder, const std::vector<std::string>& names) {
      looked_at_ += static_cast<int>(names.size());
      return QueryDirectoryEntries(folder, names);
    };
    return WatchFolderScanner({check_interval, 2s, fine_time}, reader, [this] { return now_; });
  }

  // A save through a temporary name renamed over `name`: another inode under the name.
  void SaveOver(const std::string& name, std::string_view bytes) {
    WriteFileBytes(dir_ / "saving.tmp", bytes);
    fs::rename(dir_ / "saving.tmp", dir_ / name);
  }

  TempDir dir_;
  int listings_ = 0;
  int looked_at_ = 0;
  // Stands for the inode numbers the folder gives, where a test makes them up.
  std::function<std::uint64_t(const std::string&)> inode_of_name_;
  WatchFolderScanner::Clock::time_point now_;
};

// 300 old files: one listing and one look at each at the start, then nothing while the
// folder's time stays; a new file is the only one looked at, a removal none.
TEST_F(WatchFolderScannerTest, OnlyWhatIsNewIsLookedAtAndAQuietFolderIsNotListed) {
  for (int i = 0; i < 300; ++i) WriteFileBytes(dir_ / ("old" + std::to_string(i) + ".jpg"), "x");
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  const auto first = scanner.Scan(dir_.path());
  ASSERT_TRUE(first.has_value());
  EXPECT_TRUE(first->whole);
  EXPECT_EQ(first->changed.size(), 300u);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(scanner.Scan(dir_.path()).has_value());
  EXPECT_EQ(listings_, 1);
  EXPECT_EQ(looked_at_, 300);

  WriteFileBytes(dir_ / "new.jpg", "new");
  fs::remove(dir_ / "old7.jpg");
  const auto changes = scanner.Scan(dir_.path());
  ASSERT_TRUE(changes.has_value());
  EXPECT_FALSE(changes->whole);
  EXPECT_EQ(NamesOf(changes->changed), std::vector<std::string>{"new.jpg"});
  EXPECT_EQ(changes->changed[0].size, 3u);
  EXPECT_EQ(changes->removed, std::vector<std::string>{"old7.jpg"});
  EXPECT_EQ(looked_at_, 301);
}

// Saved through a temporary name over an old one: another inode under the name, looked at.
TEST_F(WatchFolderScannerTest, FileRenamedOverAnOldNameIsLookedAt) {
  WriteFileBytes(dir_ / "shot.jpg", "first");
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  scanner.Scan(dir_.path());
  SaveOver("shot.jpg", "second!");
  const auto changes = scanner.Scan(dir_.path());
  ASSERT_TRUE(changes.has_value());
  ASSERT_EQ(NamesOf(changes->changed), std::vector<std::string>{"shot.jpg"});
  EXPECT_EQ(changes->changed[0].size, 7u);
  EXPECT_TRUE(changes->removed.empty());
}

TEST_F(WatchFolderScannerTest, AChangeIsListedAndARecentTimeIsNeverTrusted) {
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  EXPECT_TRUE(scanner.Scan(dir_.path())->changed.empty());
  WriteFileBytes(dir_ / "new.jpg", "1");
  EXPECT_EQ(scanner.Scan(dir_.path())->changed.size(), 1u);
  EXPECT_EQ(listings_, 2);
  // Changed within the coarse time: a second change could keep the same time, so every scan
  // lists until the folder has been quiet for a while.
  EXPECT_FALSE(scanner.Scan(dir_.path()).has_value());
  EXPECT_FALSE(scanner.Scan(dir_.path()).has_value());
  EXPECT_EQ(listings_, 4);
  Age(dir_.path());
  scanner.Scan(dir_.path());
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 5);
}

// A folder time with a fraction of a second comes from a fine clock: trusted soon after. One
// of whole seconds may come from a coarse one: not within the coarse time.
TEST_F(WatchFolderScannerTest, FineFolderTimeIsTrustedSoonerThanWholeSeconds) {
  WatchFolderScanner scanner = Scanner(1h, 1ns);
  WriteFileBytes(dir_ / "a.jpg", "1");
  timespec now{};
  ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &now), 0);
  const timespec fine[2] = {now, {now.tv_sec - 1, 123'456'789}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.path().c_str(), fine, 0), 0);
  scanner.Scan(dir_.path());
  EXPECT_FALSE(scanner.Scan(dir_.path()).has_value());
  EXPECT_EQ(listings_, 1);
  const timespec whole[2] = {now, {now.tv_sec - 1, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.path().c_str(), whole, 0), 0);
  scanner.Scan(dir_.path());
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 3);
}

// A file system that does not keep its folders' times: the checking listing finds what the
// time did not show, and from then on every scan lists.
TEST_F(WatchFolderScannerTest, CheckingListingFindsAChangeTheFolderTimeDidNotShow) {
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner(20s);
  scanner.Scan(dir_.path());
  WriteFileBytes(dir_ / "unseen.jpg", "1");
  Age(dir_.path());  // as if the folder's time had not moved
  EXPECT_FALSE(scanner.Scan(dir_.path()).has_value());
  now_ += 19s;
  EXPECT_FALSE(scanner.Scan(dir_.path()).has_value());
  EXPECT_EQ(listings_, 1);
  now_ += 1s;
  const auto changes = scanner.Scan(dir_.path());
  ASSERT_TRUE(changes.has_value());
  EXPECT_EQ(NamesOf(changes->changed), std::vector<std::string>{"unseen.jpg"});
  EXPECT_EQ(listings_, 2);
  scanner.Scan(dir_.path());
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 4);
}

// A rewrite in place moves no folder time: the names given are looked at on every scan.
TEST_F(WatchFolderScannerTest, WatchedNamesAreLookedAtWithoutAListing) {
  WriteFileBytes(dir_ / "snapshot.jpg", "first");
  WriteFileBytes(dir_ / "other.jpg", "other");
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  scanner.Scan(dir_.path());
  EXPECT_FALSE(scanner.Scan(dir_.path(), {"snapshot.jpg"}).has_value());
  std::ofstream(dir_ / "snapshot.jpg", std::ios::binary | std::ios::trunc) << "second save";
  std::ofstream(dir_ / "other.jpg", std::ios::binary | std::ios::trunc) << "not watched";
  Age(dir_.path());
  const auto changes = scanner.Scan(dir_.path(), {"snapshot.jpg"});
  ASSERT_TRUE(changes.has_value());
  ASSERT_EQ(NamesOf(changes->changed), std::vector<std::string>{"snapshot.jpg"});
  EXPECT_EQ(changes->changed[0].size, 11u);
  EXPECT_EQ(listings_, 1);
}

// Inode numbers a FUSE file system makes up (0xFFFFFFFF or 0) tell no file from another:
// every entry is looked at whenever the folder is listed.
TEST_F(WatchFolderScannerTest, MadeUpInodeNumbersHaveEveryEntryLookedAt) {
  inode_of_name_ = [](const std::string& name) { return name == "a.jpg" ? 0xFFFF'FFFFu : 0u; };
  WriteFileBytes(dir_ / "a.jpg", "a");
  WriteFileBytes(dir_ / "b.jpg", "b");
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  scanner.Scan(dir_.path());
  SaveOver("a.jpg", "another a");
  EXPECT_EQ(NamesOf(scanner.Scan(dir_.path()).value().changed), std::vector<std::string>{"a.jpg"});
  EXPECT_EQ(looked_at_, 4);
}

// A file replaced by one that got the old inode number back (ext4 reuses them at once): the
// folder's time moved but its listing looks the same, so the names that changed lately are
// looked at.
TEST_F(WatchFolderScannerTest, FileReplacedUnderItsOldInodeNumberIsFoundAmongTheRecentOnes) {
  inode_of_name_ = [](const std::string& name) { return std::hash<std::string>{}(name) | 1; };
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  scanner.Scan(dir_.path());
  WriteFileBytes(dir_ / "shot.jpg", "first");
  scanner.Scan(dir_.path());
  Age(dir_.path());
  scanner.Scan(dir_.path());
  fs::remove(dir_ / "shot.jpg");
  WriteFileBytes(dir_ / "shot.jpg", "second save");
  const auto changes = scanner.Scan(dir_.path());
  ASSERT_TRUE(changes.has_value());
  ASSERT_EQ(NamesOf(changes->changed), std::vector<std::string>{"shot.jpg"});
  EXPECT_EQ(changes->changed[0].size, 11u);
}

TEST_F(WatchFolderScannerTest, FolderReplacedUnderTheSameNameAndAMissingOne) {
  const fs::path watch = dir_ / "watch";
  fs::create_directory(watch);
  Age(watch);
  WatchFolderScanner scanner = Scanner();
  EXPECT_TRUE(scanner.Scan(watch)->changed.empty());
  fs::rename(watch, dir_ / "old");
  fs::create_directory(watch);
  WriteFileBytes(watch / "x.jpg", "1");
  Age(watch);  // the same time as before, but another folder
  EXPECT_EQ(NamesOf(scanner.Scan(watch)->changed), std::vector<std::string>{"x.jpg"});
  EXPECT_EQ(listings_, 2);

  EXPECT_FALSE(scanner.Scan(dir_ / "missing").has_value());
  fs::create_directory(dir_ / "missing");
  const auto listing = scanner.Scan(dir_ / "missing");
  ASSERT_TRUE(listing.has_value());
  EXPECT_TRUE(listing->whole);
}

}  // namespace
}  // namespace velmarin::test
