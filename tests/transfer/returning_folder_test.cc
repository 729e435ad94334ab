#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/temp_dir.h"
#include "transfer/folder_monitor_fixture.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using Kind = FolderEvent::Kind;

// A copy that keeps the file's write time, as `cp -p` and `rsync -a` make.
void CopyKeepingTime(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to);
  struct stat info {};
  ASSERT_EQ(stat(from.c_str(), &info), 0);
  const timespec times[2] = {info.st_atim, info.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, to.c_str(), times, 0), 0);
}

// The watch folder goes away and comes back, maybe as another folder on another file system:
// the stills it held before are not new.
class ReturningFolder : public FolderMonitorFixture {
 protected:
  // Two stills there from before, one taken during the run.
  void StartWithStills() {
    WriteNewFile(Watch("old1.jpg"), "there before 1");
    WriteNewFile(Watch("old2.jpg"), "there before 2");
    Start();
    AddImageAndRunCycle("taken.jpg", "taken in the run");
    ASSERT_EQ(Transferred().size(), 1u);
  }
  // The stills of `from` put into the watch folder again: the two from before by a copy that
  // kept their times, the one taken by a plain copy (its time is new, its content is not).
  void CopyStillsBack(const fs::path& from) {
    CopyKeepingTime(from / "old1.jpg", Watch("old1.jpg"));
    CopyKeepingTime(from / "old2.jpg", Watch("old2.jpg"));
    fs::copy_file(from / "taken.jpg", Watch("taken.jpg"));
  }
};

// Removed and made again, its stills copied back, then a link put in its place that leads to
// another copy: nothing is sent again. A still that was not there before is, with the ID in
// force when it came.
TEST_F(ReturningFolder, FolderMadeAgainOrLinkedToACopyTakesOnlyWhatIsNew) {
  StartWithStills();
  const fs::path kept = root_ / "kept";
  fs::rename(watch_, kept);
  Event(Kind::kFolderGone, "");
  RunCycle();  // the folder is missing
  fs::create_directory(watch_);
  CopyStillsBack(kept);
  SetCaptureId("777");
  RunCycle();
  EXPECT_EQ(Transferred().size(), 1u);

  const fs::path copy = root_ / "copy";
  fs::rename(watch_, copy);
  fs::create_directory(watch_);
  CopyStillsBack(copy);
  fs::rename(watch_, root_ / "copy2");
  fs::create_directory_symlink(root_ / "copy2", watch_);
  Event(Kind::kFolderGone, "");
  RunCycles(2);
  EXPECT_EQ(Transferred().size(), 1u);

  AddImageAndRunCycle("new.jpg", "new");
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "new");
  EXPECT_EQ(fake_.calls_of("process").back().capture_id, "777");
  EXPECT_EQ(errors_.Generation(), 0u);
}

// A still waiting when its folder goes (a network folder that drops) is not given up as
// vanished: it waits until the folder is back and goes with the ID it arrived with.
TEST_F(ReturningFolder, StillWaitingWhileItsFolderIsAwayGoesWhenItIsBack) {
  fake_.disk_full = true;
  Start();
  AddImageAndRunCycle("waiting.jpg", "waiting");
  EXPECT_TRUE(Transferred().empty());
  const fs::path away = root_ / "away";
  fs::rename(watch_, away);
  Event(Kind::kFolderGone, "");
  fake_.disk_full = false;
  AdvanceClock(std::chrono::seconds(2));
  SetCaptureId("777");
  RunCycles(2);
  EXPECT_TRUE(Transferred().empty());
  fs::create_directory(watch_);
  CopyKeepingTime(away / "waiting.jpg", Watch("waiting.jpg"));
  RunCycle();
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(fake_.calls_of("process").back().capture_id, "123456");
  for (const LastErrorText::Entry& said : errors_.Since(0)) {
    EXPECT_NE(said.text, "image vanished! ");
  }
}

// A real unmount and another file system mounted in its place (a share remounted: new
// device, new inodes): the stills it holds are those seen before.
TEST_F(ReturningFolder, OtherFileSystemMountedInItsPlaceHoldsNothingNew) {
  if (mount("velmarin-test", watch_.c_str(), "tmpfs", 0, "size=4m") != 0) {
    GTEST_SKIP() << "mounting a tmpfs is not allowed here: " << std::strerror(errno);
  }
  struct Unmount {
    fs::path folder;
    ~Unmount() {
      while (umount2(folder.c_str(), MNT_DETACH) == 0) {
      }
    }
  } unmount{watch_};
  StartWithStills();
  const fs::path kept = root_ / "kept";
  fs::create_directory(kept);
  for (const char* name : {"old1.jpg", "old2.jpg", "taken.jpg"}) {
    CopyKeepingTime(Watch(name), kept / name);
  }
  ASSERT_EQ(umount2(watch_.c_str(), MNT_DETACH), 0) << std::strerror(errno);
  Event(Kind::kFolderGone, "");
  RunCycle();  // the bare mount point, empty
  ASSERT_EQ(mount("velmarin-test", watch_.c_str(), "tmpfs", 0, "size=4m"), 0);
  CopyStillsBack(kept);
  RunCycle();
  EXPECT_EQ(Transferred().size(), 1u);
  AddImageAndRunCycle("new.jpg", "new");
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "new");
}

}  // namespace
}  // namespace velmarin::test
