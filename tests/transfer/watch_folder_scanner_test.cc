#include "transfer/watch_folder_scanner.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WatchFolderScannerTest : public ::testing::Test {
 protected:
  WatchFolderScanner Scanner(std::chrono::nanoseconds full_scan_interval = 1h) {
    return WatchFolderScanner(
        {full_scan_interval, 2s},
        [this](const fs::path& folder) {
          ++listings_;
          return ListDirectory(folder);
        },
        [this] { return now_; });
  }

  TempDir dir_;
  int listings_ = 0;
  WatchFolderScanner::Clock::time_point now_;
};

TEST_F(WatchFolderScannerTest, QuietFolderIsListedOnce) {
  WriteFileBytes(dir_ / "a.jpg", "1");
  WriteFileBytes(dir_ / "b.jpg", "2");
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  const auto first = scanner.Scan(dir_.path());
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(scanner.Scan(dir_.path()).has_value());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->size(), 2u);
  EXPECT_EQ(listings_, 1);
}

TEST_F(WatchFolderScannerTest, AChangeIsListedAndARecentTimeIsNeverTrusted) {
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner();
  EXPECT_EQ(scanner.Scan(dir_.path())->size(), 0u);
  WriteFileBytes(dir_ / "new.jpg", "1");
  EXPECT_EQ(scanner.Scan(dir_.path())->size(), 1u);
  EXPECT_EQ(listings_, 2);
  // Changed within the coarse time: a second change could keep the same time, so every scan
  // lists until the folder has been quiet for a while.
  scanner.Scan(dir_.path());
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 4);
  Age(dir_.path());
  scanner.Scan(dir_.path());
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 5);
}

TEST_F(WatchFolderScannerTest, FullListingAtTheIntervalAnotherFolderAndAMissingOne) {
  Age(dir_.path());
  WatchFolderScanner scanner = Scanner(20ms);
  scanner.Scan(dir_.path());
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 1);
  now_ += 19ms;
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 1);
  now_ += 1ms;
  scanner.Scan(dir_.path());
  EXPECT_EQ(listings_, 2);

  TempDir other;
  Age(other.path());
  scanner.Scan(other.path());
  EXPECT_EQ(listings_, 3);

  // A folder that cannot be looked at is tried every time.
  EXPECT_FALSE(scanner.Scan(dir_ / "missing").has_value());
  EXPECT_FALSE(scanner.Scan(dir_ / "missing").has_value());
  EXPECT_EQ(listings_, 5);
}

TEST_F(WatchFolderScannerTest, FolderReplacedUnderTheSameNameIsListed) {
  const fs::path watch = dir_ / "watch";
  fs::create_directory(watch);
  Age(watch);
  WatchFolderScanner scanner = Scanner();
  EXPECT_EQ(scanner.Scan(watch)->size(), 0u);
  fs::rename(watch, dir_ / "old");
  fs::create_directory(watch);
  WriteFileBytes(watch / "x.jpg", "1");
  Age(watch);  // the same time as before, but another folder
  EXPECT_EQ(scanner.Scan(watch)->size(), 1u);
  EXPECT_EQ(listings_, 2);
}

}  // namespace
}  // namespace velmarin::test
