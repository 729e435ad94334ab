#include "naming/serial_memo.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace velmarin {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kSecond = 1'000'000'000;
// A folder last changed at 100.5 s, listed a second later.
constexpr FolderStamp kListed{7, 42, 100 * kSecond + 500'000'000, 100 * kSecond + 500'000'000};
constexpr std::int64_t kListedAt = 101 * kSecond + 500'000'000;

class SerialMemoTest : public testing::Test {
 protected:
  SerialMemo memo_;
  const SerialMemo::Clock::time_point start_{};
};

TEST_F(SerialMemoTest, ASearchStartsWhereTheListingOfTheSameFolderEnded) {
  EXPECT_EQ(memo_.StartOf("a", kListed, start_), std::nullopt);
  memo_.NoteListing("a", kListed, 6, kListedAt, start_);
  EXPECT_EQ(memo_.StartOf("a", kListed, start_ + 1s), 6);
  EXPECT_EQ(memo_.StartOf("b", kListed, start_ + 1s), std::nullopt);  // another name
}

TEST_F(SerialMemoTest, AFolderChangedOtherwiseIsListedAgain) {
  FolderStamp moved = kListed;
  moved.changed_ns += 1;  // a removal whose modification time was set back
  memo_.NoteListing("a", kListed, 6, kListedAt, start_);
  EXPECT_EQ(memo_.StartOf("a", moved, start_), std::nullopt);
  EXPECT_EQ(memo_.StartOf("a", kListed, start_), std::nullopt);  // forgotten, not kept aside
  FolderStamp other_folder = kListed;
  other_folder.inode = 43;
  memo_.NoteListing("a", kListed, 6, kListedAt, start_);
  EXPECT_EQ(memo_.StartOf("a", other_folder, start_), std::nullopt);
}

TEST_F(SerialMemoTest, TimesTooCloseToTheListingAreNotTrusted) {
  memo_.NoteListing("a", kListed, 6, kListed.modified_ns + 50'000'000, start_);
  EXPECT_EQ(memo_.StartOf("a", kListed, start_), std::nullopt);
  // Whole seconds may be the same through two changes of one second.
  const FolderStamp whole{7, 42, 100 * kSecond, 100 * kSecond};
  memo_.NoteListing("a", whole, 6, 101 * kSecond + 500'000'000, start_);
  EXPECT_EQ(memo_.StartOf("a", whole, start_), std::nullopt);
  memo_.NoteListing("a", whole, 6, 103 * kSecond, start_);
  EXPECT_EQ(memo_.StartOf("a", whole, start_), 6);
}

TEST_F(SerialMemoTest, OwnClaimsMoveTheStartAndKeepTheFolderTheyLeft) {
  memo_.NoteListing("a", kListed, 6, kListedAt, start_);
  FolderStamp claimed = kListed;
  claimed.modified_ns = claimed.changed_ns = 102 * kSecond + 1;
  memo_.NoteClaim("a", kListed, claimed, 7);  // 6 was taken meanwhile: the claim went on to 7
  EXPECT_EQ(memo_.StartOf("a", claimed, start_), 8);
  // A claim from a search that saw the folder otherwise than the memo does tells nothing.
  FolderStamp later = claimed;
  later.modified_ns = later.changed_ns = 103 * kSecond + 1;
  memo_.NoteClaim("a", kListed, later, 8);
  EXPECT_EQ(memo_.StartOf("a", later, start_), std::nullopt);
}

TEST_F(SerialMemoTest, AClaimOnWholeSecondTimesIsListedAgain) {
  memo_.NoteListing("a", kListed, 6, kListedAt, start_);
  const FolderStamp claimed{7, 42, 102 * kSecond, 102 * kSecond};
  memo_.NoteClaim("a", kListed, claimed, 6);
  EXPECT_EQ(memo_.StartOf("a", claimed, start_), std::nullopt);
}

TEST_F(SerialMemoTest, AListingIsTrustedForALimitedTime) {
  memo_.NoteListing("a", kListed, 6, kListedAt, start_);
  FolderStamp claimed = kListed;
  claimed.modified_ns = claimed.changed_ns = 102 * kSecond + 1;
  memo_.NoteClaim("a", kListed, claimed, 6);  // claims do not lengthen it
  EXPECT_EQ(memo_.StartOf("a", claimed, start_ + SerialMemo::kLife - 1s), 7);
  EXPECT_EQ(memo_.StartOf("a", claimed, start_ + SerialMemo::kLife), std::nullopt);
}

TEST_F(SerialMemoTest, OnlyTheLatestNamesAreKept) {
  for (std::size_t i = 0; i <= SerialMemo::kKept; ++i) {
    memo_.NoteListing("name" + std::to_string(i), kListed, 6, kListedAt,
                      start_ + std::chrono::seconds(i));
  }
  EXPECT_EQ(memo_.StartOf("name0", kListed, start_), std::nullopt);
  EXPECT_EQ(memo_.StartOf("name1", kListed, start_), 6);
  EXPECT_EQ(memo_.StartOf("name" + std::to_string(SerialMemo::kKept), kListed, start_), 6);
}

// Memos of one process after another, keeping what they learn in one file.
class SavedSerialMemoTest : public SerialMemoTest {
 protected:
  SerialMemo NextProcess() const { return SerialMemo({}, dir_ / "serials"); }
  // The start a new process finds for `stamp` when the wall clock says `now_ns`.
  std::optional<int> StartInNextProcess(const FolderStamp& stamp, std::int64_t now_ns) const {
    return NextProcess().StartOf("a", stamp, start_, now_ns);
  }

  const test::TempDir dir_;
  SerialMemo first_{{}, dir_ / "serials"};
};

TEST_F(SavedSerialMemoTest, ANewProcessStartsWhereTheLastListingEnded) {
  first_.NoteListing("a", kListed, 6, kListedAt, start_);
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt + kSecond), 6);
  SerialMemo next = NextProcess();
  EXPECT_EQ(next.StartOf("b", kListed, start_, kListedAt), std::nullopt);  // other names
  // Its age goes on from the listing's.
  EXPECT_EQ(next.StartOf("a", kListed, start_, kListedAt + kSecond), 6);
  EXPECT_EQ(next.StartOf("a", kListed, start_ + SerialMemo::kLife - 1s), std::nullopt);
}

TEST_F(SavedSerialMemoTest, AFolderWhoseStampDiffersInAnyFieldIsListed) {
  first_.NoteListing("a", kListed, 6, kListedAt, start_);
  for (std::int64_t FolderStamp::*field : {&FolderStamp::modified_ns, &FolderStamp::changed_ns}) {
    FolderStamp moved = kListed;
    moved.*field += 1;
    EXPECT_EQ(StartInNextProcess(moved, kListedAt), std::nullopt);
  }
  for (std::uint64_t FolderStamp::*field : {&FolderStamp::device, &FolderStamp::inode}) {
    FolderStamp other = kListed;
    other.*field += 1;
    EXPECT_EQ(StartInNextProcess(other, kListedAt), std::nullopt);
  }
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt), 6);
}

TEST_F(SavedSerialMemoTest, AStartTooOldOrFromTheFutureIsNotTrusted) {
  first_.NoteListing("a", kListed, 6, kListedAt, start_);
  const auto life = std::chrono::nanoseconds(SerialMemo::kLife).count();
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt + life - 1), 6);
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt + life), std::nullopt);
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt - 1), std::nullopt);
}

TEST_F(SavedSerialMemoTest, AListingTooCloseToTheFolderTimesIsNotKept) {
  first_.NoteListing("a", kListed, 6, kListed.modified_ns + 50'000'000, start_);
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt), std::nullopt);
}

TEST_F(SavedSerialMemoTest, OwnClaimsAreKeptForTheNextProcess) {
  first_.NoteListing("a", kListed, 6, kListedAt, start_);
  FolderStamp claimed = kListed;
  claimed.modified_ns = claimed.changed_ns = 102 * kSecond + 1;
  first_.NoteClaim("a", kListed, claimed, 6);
  EXPECT_EQ(StartInNextProcess(claimed, kListedAt + kSecond), 7);
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt + kSecond), std::nullopt);  // replaced
}

TEST_F(SavedSerialMemoTest, ADamagedFileIsIgnoredAndWrittenAnew) {
  test::WriteFileBytes(dir_ / "serials",
                       FormatSerialStarts({{kListed, "a", 6, kListedAt}}) + "1	");
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt), std::nullopt);
  SerialMemo next = NextProcess();
  EXPECT_EQ(next.StartOf("a", kListed, start_, kListedAt), std::nullopt);
  next.NoteListing("a", kListed, 9, kListedAt, start_);
  EXPECT_EQ(StartInNextProcess(kListed, kListedAt), 9);
}

TEST_F(SavedSerialMemoTest, OnlyTheLatestListingsAreKept) {
  for (std::size_t i = 0; i <= SerialMemo::kKept; ++i) {
    first_.NoteListing("name" + std::to_string(i), kListed, 6,
                       kListedAt + static_cast<std::int64_t>(i), start_);
  }
  const auto saved = ReadSerialStarts(dir_ / "serials", SerialMemo::kKept);
  ASSERT_EQ(saved.size(), SerialMemo::kKept);
  EXPECT_EQ(saved.front().key, "name" + std::to_string(SerialMemo::kKept));
  EXPECT_EQ(saved.back().key, "name1");
}

TEST_F(SavedSerialMemoTest, StartsPastTheirLifeAreDroppedWithTheNextWrite) {
  first_.NoteListing("old", kListed, 6, kListedAt, start_);
  const auto life = std::chrono::nanoseconds(SerialMemo::kLife).count();
  first_.NoteListing("a", kListed, 6, kListedAt + life, start_ + SerialMemo::kLife);
  const auto saved = ReadSerialStarts(dir_ / "serials", SerialMemo::kKept);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved.front().key, "a");
}

}  // namespace
}  // namespace velmarin
