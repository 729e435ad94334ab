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

using ClaimFunction = ClaimResult (*)(const fs::path&, const fs::path&);

// ClaimName (a hard link) and the way without hard links behave alike.
class ClaimTest : public testing::TestWithParam<ClaimFunction> {
 protected:
  ClaimTest() { WriteFileBytes(temporary_, "new picture"); }

  test::TempDir dir_;
  const fs::path temporary_ = dir_ / ".t.abcdef";
  const fs::path name_ = dir_ / "t_001.jpg";
};

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
TEST(ClaimNameTest, NameThatIsAlreadyTheTemporarysFileCountsAsClaimed) {
  test::TempDir dir;
  WriteFileBytes(dir / ".t.abcdef", "picture");
  fs::create_hard_link(dir / ".t.abcdef", dir / "t.jpg");
  EXPECT_EQ(ClaimName(dir / ".t.abcdef", dir / "t.jpg"), ClaimResult::kClaimed);
  EXPECT_FALSE(fs::exists(dir / ".t.abcdef"));
  EXPECT_EQ(ReadFileBytes(dir / "t.jpg"), "picture");
}

TEST(ReplacedNameTest, ReplacesAnExistingFile) {
  test::TempDir dir;
  WriteFileBytes(dir / ".t.abcdef", "new");
  WriteFileBytes(dir / "t.jpg", "old");
  ReplacedName name(dir / "t.jpg");
  EXPECT_TRUE(name.Place(dir / ".t.abcdef"));
  EXPECT_EQ(ReadFileBytes(dir / "t.jpg"), "new");
  EXPECT_FALSE(fs::exists(dir / ".t.abcdef"));
}

TEST(ClaimedNameTest, TakesAFreeNameAndReportsATakenOneAsEexist) {
  test::TempDir dir;
  WriteFileBytes(dir / ".t.abcdef", "new");
  WriteFileBytes(dir / "taken.jpg", "old");
  ClaimedName taken(dir / "taken.jpg");
  errno = 0;
  EXPECT_FALSE(taken.Place(dir / ".t.abcdef"));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFileBytes(dir / "taken.jpg"), "old");
  ClaimedName free(dir / "free.jpg");
  EXPECT_TRUE(free.Place(dir / ".t.abcdef"));
  EXPECT_EQ(ReadFileBytes(dir / "free.jpg"), "new");
}

}  // namespace
}  // namespace velmarin
