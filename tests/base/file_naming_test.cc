#include "base/file_naming.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/temp_dir.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

using ClaimFunction = ClaimResult (*)(const AtPath&, const AtPath&);

// A finished picture under a temporary name, and the name it is to get.
class FileNamingTest : public testing::Test {
 protected:
  FileNamingTest() { WriteFileBytes(temporary_, "new picture"); }

  test::TempDir dir_;
  const fs::path temporary_ = dir_ / ".t.abcdef";
  const fs::path name_ = dir_ / "t_001.jpg";
};

// ClaimName (a hard link) and the way without hard links behave alike.
class ClaimTest : public FileNamingTest, public testing::WithParamInterface<ClaimFunction> {};

TEST_P(ClaimTest, FreeNameIsTakenAndTheTemporaryGoes) {
  EXPECT_EQ(GetParam()(temporary_, name_), ClaimResult::kClaimed);
  EXPECT_EQ(ReadFileBytes(name_), "new picture");
  EXPECT_FALSE(fs::exists(temporary_));
  EXPECT_EQ(fs::hard_link_count(name_), 1u);
}

TEST_P(ClaimTest, ExistingNameIsNeverReplaced) {
  WriteFileBytes(name_, "other station's picture");
  EXPECT_EQ(GetParam()(temporary_, name_), ClaimResult::kTaken);
  EXPECT_EQ(ReadFileBytes(name_), "other station's picture");
  EXPECT_EQ(ReadFileBytes(temporary_), "new picture");
}

TEST_P(ClaimTest, MissingFolderFailsWithErrno) {
  errno = 0;
  EXPECT_EQ(GetParam()(temporary_, dir_ / "gone" / "t.jpg"), ClaimResult::kFailed);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(fs::exists(temporary_));
}

INSTANTIATE_TEST_SUITE_P(BothWays, ClaimTest, testing::Values(&ClaimName, &ClaimByExclusiveCreate));

// An NFS client may send a link again when the reply to the first was lost; the second then
// finds the name taken by the first. The name leading to the temporary's own file is a success.
TEST_F(FileNamingTest, ClaimNameCountsANameThatIsAlreadyTheTemporarysFileAsClaimed) {
  fs::create_hard_link(temporary_, name_);
  EXPECT_EQ(ClaimName(temporary_, name_), ClaimResult::kClaimed);
  EXPECT_FALSE(fs::exists(temporary_));
  EXPECT_EQ(ReadFileBytes(name_), "new picture");
}

TEST_F(FileNamingTest, ReplacedNameReplacesAnExistingFile) {
  WriteFileBytes(name_, "old");
  EXPECT_TRUE(ReplacedName(name_).Place(temporary_));
  EXPECT_EQ(ReadFileBytes(name_), "new picture");
  EXPECT_FALSE(fs::exists(temporary_));
}

TEST_F(FileNamingTest, ClaimedNameTakesAFreeNameAndReportsATakenOneAsEexist) {
  WriteFileBytes(name_, "old");
  errno = 0;
  EXPECT_FALSE(ClaimedName(name_).Place(temporary_));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFileBytes(name_), "old");
  EXPECT_TRUE(ClaimedName(dir_ / "free.jpg").Place(temporary_));
  EXPECT_EQ(ReadFileBytes(dir_ / "free.jpg"), "new picture");
}

}  // namespace
}  // namespace velmarin
