#include "transfer/transfer_folder_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kNfs = 0x6969;
constexpr std::uint64_t kSmb = 0xFE534D42;

// A station whose transfer folder "share" lies where the test says (a table over the real
// places), remembered in the state file of its program folder across restarts (Start).
class TransferFolderCheckTest : public testing::Test {
 protected:
  TransferFolderCheckTest() {
    fs::create_directories(program_);
    fs::create_directories(share_);
    fs::create_directories(other_);
  }

  // The program starts: a new check that reads the state file.
  TransferFolderCheck& Start() {
    check_.emplace([this](const fs::path& path) {
      const auto place = places_.find(path);
      return place == places_.end() ? RealFolderPlace(path) : std::optional(place->second);
    });
    check_->KeepIn(program_ / kTransferFolderStateFileName,
                   [this](const OwnMessage& line) { reports_.emplace_back(line.english); });
    return *check_;
  }
  // A share mounted on the folder, with a device number of its own.
  void Mount(std::uint64_t fs_type, std::uint64_t device_offset = 1) {
    places_[share_] = {disk_ + device_offset, fs_type};
  }
  void Unmount() { places_.erase(share_); }

  TempDir root_;
  const fs::path program_ = root_ / "station";
  const fs::path share_ = root_ / "share";
  const fs::path other_ = root_ / "other";
  const std::uint64_t disk_ = RealFolderPlace(root_.path())->device;
  std::map<fs::path, FolderPlace> places_;
  std::optional<TransferFolderCheck> check_;
  std::vector<std::string> reports_;
};

TEST_F(TransferFolderCheckTest, StartWhileTheShareIsDownWaitsForItAndTakesItWhenMounted) {
  Mount(kNfs);
  Start().Choose(share_);
  EXPECT_TRUE(check_->Available(share_));

  Unmount();  // down when the program starts again: its bare mount point is not the share
  Start().Choose(share_);
  EXPECT_FALSE(check_->Available(share_));
  Mount(kNfs, 5);  // mounted again, with another device number
  EXPECT_TRUE(check_->Available(share_));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(TransferFolderCheckTest, ShareMountedOverTheFolderFirstSeenBareIsTheShareFromThenOn) {
  Start().Choose(share_);  // the share was down at the very first start
  EXPECT_TRUE(check_->Available(share_));
  Mount(kNfs);
  EXPECT_TRUE(check_->Available(share_));
  ASSERT_EQ(reports_.size(), 1u);  // what went into the bare folder is hidden now
  EXPECT_NE(reports_[0].find("lie hidden below the mount"), std::string::npos) << reports_[0];
  Unmount();
  EXPECT_FALSE(check_->Available(share_));
  Start().Choose(share_);
  EXPECT_FALSE(check_->Available(share_));
}

TEST_F(TransferFolderCheckTest, ShareOfTheSameKindOverAFolderFirstSeenBareIsTheShareToo) {
  const std::uint64_t disk_type = RealFolderPlace(share_)->fs_type;
  Start().Choose(share_);
  Mount(disk_type);  // a USB disk with the file system of the station's own
  EXPECT_TRUE(check_->Available(share_));
  Unmount();
  EXPECT_FALSE(check_->Available(share_));
}

TEST_F(TransferFolderCheckTest, FolderChosenAnewIsTakenAsFirstSeenUnlessItsShareIsDown) {
  Mount(kNfs);
  Start().Choose(share_);
  Mount(kSmb, 2);  // the server's share is now mounted over SMB: not the file system known
  EXPECT_FALSE(check_->Available(share_));
  // The user chooses another folder, then this one again.
  check_->Choose(other_);
  Start().Choose(share_);
  EXPECT_TRUE(check_->Available(share_));

  Unmount();  // down: choosing it again does not make its bare mount point the share
  check_->Choose(other_);
  check_->Choose(share_);
  EXPECT_FALSE(check_->Available(share_));
}

TEST_F(TransferFolderCheckTest, StationMovedToAnotherDiskForgetsWhereItsFoldersLay) {
  Mount(kNfs);
  Start().Choose(share_);
  const std::string mark = check_->temporary_mark();
  Unmount();
  // The program folder copied to a new place (another folder, as on another disk).
  const fs::path moved = root_ / "moved";
  fs::copy(program_, moved);
  fs::rename(program_, root_ / "old");
  fs::rename(moved, program_);
  Start().Choose(share_);
  EXPECT_TRUE(check_->Available(share_));
  EXPECT_EQ(check_->temporary_mark(), mark);
}

TEST_F(TransferFolderCheckTest, DamagedStateFileIsSaidAndCountsAsNone) {
  WriteFileBytes(program_ / kTransferFolderStateFileName,
                 "velmarin transfer folders 1\nfolder\tx\n");
  Start();
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("cannot be read (line 2 is damaged)"), std::string::npos);
  EXPECT_FALSE(check_->temporary_mark().empty());
  check_->Choose(share_);
  EXPECT_TRUE(check_->Available(share_));
  Start();
  EXPECT_EQ(reports_.size(), 1u);  // written anew, whole
}

// A mark that would lead this station's temporaries out of their folder is damage.
TEST_F(TransferFolderCheckTest, MarkThatIsNoNameOfLettersIsDamage) {
  WriteFileBytes(program_ / kTransferFolderStateFileName,
                 "velmarin transfer folders 1\ntemporaries\t../../up\n");
  Start();
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("cannot be read (line 2 is damaged)"), std::string::npos);
  EXPECT_TRUE(IsTemporaryMark(check_->temporary_mark())) << check_->temporary_mark();
}

// Damage after the lines that name the station and its mark: the file is written anew at the
// start that finds it, so it is said once, and the mark stays.
TEST_F(TransferFolderCheckTest, DamageIsSaidAtOneStartOnly) {
  Mount(kNfs);
  Start().Choose(share_);
  const std::string mark = check_->temporary_mark();
  const fs::path file = program_ / kTransferFolderStateFileName;
  WriteFileBytes(file, ReadFileBytes(file) + "folder\t/x\n");
  Start();
  EXPECT_EQ(reports_.size(), 1u);
  Start();
  EXPECT_EQ(reports_.size(), 1u);
  EXPECT_EQ(check_->temporary_mark(), mark);
}

// The folder held open is the one the image goes into; once the path leads to another folder
// (a share unmounted, or a folder put in its place), an image made in the held one is not on
// the share where it is looked for.
TEST_F(TransferFolderCheckTest, OpenFolderIsNoLongerHeldOnceItsPathLeadsElsewhere) {
  Start();
  auto opened = check_->Open(share_);
  ASSERT_TRUE(opened);
  EXPECT_TRUE(check_->Holds(share_, *opened));
  fs::rename(share_, root_ / "gone");
  fs::create_directory(share_);
  EXPECT_FALSE(check_->Holds(share_, *opened));
  auto again = check_->Open(share_);
  ASSERT_TRUE(again);
  EXPECT_TRUE(check_->Holds(share_, *again));
  EXPECT_FALSE(check_->Open(root_ / "missing"));
}

}  // namespace
}  // namespace velmarin::test
