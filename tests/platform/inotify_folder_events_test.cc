#include "platform/inotify_folder_events.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using Kind = FolderEvent::Kind;
using namespace std::chrono_literals;

// Collects events until `count` have come (or a generous limit passes).
std::vector<FolderEvent> Collect(InotifyFolderEvents& events, std::size_t count) {
  std::vector<FolderEvent> all;
  for (int i = 0; i < 100 && all.size() < count; ++i) {
    for (FolderEvent& event : events.Wait({}, 100ms)) all.push_back(std::move(event));
  }
  return all;
}

bool Has(const std::vector<FolderEvent>& events, Kind kind, const std::string& name) {
  for (const FolderEvent& event : events) {
    if (event.kind == kind && event.name == name) return true;
  }
  return false;
}

TEST(InotifyFolderEvents, ReportsWritesRenamesAndRemovalsInOrder) {
  TempDir dir;
  const fs::path watch = dir / "watch";
  fs::create_directory(watch);
  WriteFileBytes(dir / "outside.jpg", "moved");
  InotifyFolderEvents events;
  ASSERT_TRUE(events.Watch(watch));
  EXPECT_TRUE(events.Wait({}, 1ms).empty());

  std::ofstream(watch / "a.jpg") << "written";
  fs::rename(dir / "outside.jpg", watch / "b.jpg");
  fs::rename(watch / "a.jpg", dir / "away.jpg");
  fs::remove(watch / "b.jpg");
  const auto got = Collect(events, 5);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].kind, Kind::kCreated);
  EXPECT_EQ(got[1].kind, Kind::kClosedAfterWrite);
  EXPECT_EQ(got[1].name, "a.jpg");
  EXPECT_EQ(got[2].kind, Kind::kMovedIn);
  EXPECT_EQ(got[2].name, "b.jpg");
  EXPECT_TRUE(Has(got, Kind::kRemoved, "a.jpg"));
  EXPECT_TRUE(Has(got, Kind::kRemoved, "b.jpg"));
}

// A file written without a name and linked into the folder (O_TMPFILE, as Qt's QSaveFile
// saves): made under its name, closed under "#" and its inode number.
TEST(InotifyFolderEvents, FileLinkedInWithoutANameIsClosedUnderItsInodeNumber) {
  TempDir dir;
  InotifyFolderEvents events;
  ASSERT_TRUE(events.Watch(dir.path()));
  const int fd = open(dir.path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) GTEST_SKIP() << "no O_TMPFILE here: " << std::strerror(errno);
  ASSERT_EQ(write(fd, "saved", 5), 5);
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  ASSERT_EQ(
      linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, (dir / "saved.jpg").c_str(), AT_SYMLINK_FOLLOW), 0)
      << std::strerror(errno);
  struct stat info {};
  ASSERT_EQ(fstat(fd, &info), 0);
  close(fd);
  const auto got = Collect(events, 2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].kind, Kind::kCreated);
  EXPECT_EQ(got[0].name, "saved.jpg");
  EXPECT_EQ(got[1].kind, Kind::kClosedAfterWrite);
  EXPECT_EQ(got[1].name, "#" + std::to_string(info.st_ino));
}

TEST(InotifyFolderEvents, AnotherFolderReplacesTheWatchAndAGoneFolderEndsIt) {
  TempDir dir;
  fs::create_directory(dir / "one");
  fs::create_directory(dir / "two");
  InotifyFolderEvents events;
  ASSERT_TRUE(events.Watch(dir / "one"));
  ASSERT_TRUE(events.Watch(dir / "two"));
  WriteFileBytes(dir / "one" / "old.jpg", "1");
  WriteFileBytes(dir / "two" / "new.jpg", "2");
  const auto got = Collect(events, 2);
  EXPECT_TRUE(Has(got, Kind::kClosedAfterWrite, "new.jpg"));
  EXPECT_FALSE(Has(got, Kind::kClosedAfterWrite, "old.jpg"));

  fs::remove_all(dir / "two");
  EXPECT_TRUE(Has(Collect(events, 2), Kind::kFolderGone, ""));  // after the removal of new.jpg
  EXPECT_FALSE(events.Watch(dir / "missing"));
  EXPECT_FALSE(events.Watch(dir / "one" / "old.jpg"));  // not a folder
}

// A stop request ends a long wait at once; without a watch the wait only waits.
TEST(InotifyFolderEvents, StopEndsTheWait) {
  InotifyFolderEvents events;
  std::stop_source stop;
  std::jthread waiter([&] { EXPECT_TRUE(events.Wait(stop.get_token(), 1h).empty()); });
  stop.request_stop();
  waiter.join();  // would hang if the stop did not wake the wait
  EXPECT_TRUE(events.Wait({}, 1ms).empty());
}

}  // namespace
}  // namespace velmarin::test
