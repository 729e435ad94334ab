#include "transfer/still_journal.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

std::vector<const ArrivedStill*> Pointers(const std::deque<ArrivedStill>& stills) {
  std::vector<const ArrivedStill*> pointers;
  for (const ArrivedStill& still : stills) pointers.push_back(&still);
  return pointers;
}

std::size_t LineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class StillJournalTest : public testing::Test {
 protected:
  // Stills that need no file: the journal is read back with ParseJournal.
  ArrivedStill Still(int number) const {
    ArrivedStill still;
    const std::string name = "cap" + std::to_string(number) + ".jpg";
    still.path = root_ / "watch" / name;
    still.identity = {name, static_cast<std::uint64_t>(1000 + number), 17'000'000'000 + number};
    still.binding = {Cp932Text("4711"), {2026, 1, 2, 3, 4, 5}, {}};
    return still;
  }
  std::vector<ArrivedStill> ReadBack() const {
    std::string error;
    auto stills = ParseJournal(ReadFileBytes(journal_.file()), Settings{}, &error);
    EXPECT_TRUE(stills) << error;
    return stills.value_or(std::vector<ArrivedStill>{});
  }

  TempDir root_;
  StillJournal journal_{ProgramDir{root_.path(), Cp932Text(root_.path().string())}};
};

// A journal written whole by an earlier version is read as it was.
TEST_F(StillJournalTest, JournalOfTheFirstFormIsRead) {
  const std::string text =
      "velmarin journal 1\n/w/a.jpg\t12\t34\t56\t2025\t11\t30\t23\t59\t58\t00%0912\nend 1\n";
  std::string error;
  const auto stills = ParseJournal(text, Settings{}, &error);
  ASSERT_TRUE(stills) << error;
  ASSERT_EQ(stills->size(), 1u);
  EXPECT_EQ((*stills)[0].path, "/w/a.jpg");
  EXPECT_EQ((*stills)[0].identity, (StillIdentity{"a.jpg", 12, 34}));
  EXPECT_EQ((*stills)[0].binding.capture_id, "00\t12");
  EXPECT_EQ((*stills)[0].binding.clock.second, 58);
  EXPECT_FALSE((*stills)[0].claimed);
}

// Each change is appended; what left is gone and a claim is read back with its still.
TEST_F(StillJournalTest, ChangesAreAppendedAndReadBack) {
  std::deque<ArrivedStill> stills{Still(1), Still(2)};
  ASSERT_TRUE(journal_.Write(Pointers(stills)));
  const std::string whole = ReadFileBytes(journal_.file());
  stills.pop_front();  // sent
  stills.push_back(Still(3));
  ASSERT_TRUE(journal_.Write(Pointers(stills)));
  stills.front().claimed = ClaimedTarget{root_ / "hozon" / "004711_001.jpg", "ab12"};
  ASSERT_TRUE(journal_.NoteClaim(stills.front()));
  EXPECT_FALSE(journal_.NoteClaim(Still(1)));  // not in the journal any more

  EXPECT_TRUE(ReadFileBytes(journal_.file()).starts_with(whole));
  const auto back = ReadBack();
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].identity, Still(2).identity);
  EXPECT_EQ(back[0].claimed, stills.front().claimed);
  EXPECT_EQ(back[1].identity, Still(3).identity);
  EXPECT_FALSE(back[1].claimed);

  ASSERT_TRUE(journal_.Write({}));
  EXPECT_FALSE(fs::exists(journal_.file()));
}

// More stills than the journal once kept (2,000) all come back.
TEST_F(StillJournalTest, EveryWaitingStillIsKept) {
  std::deque<ArrivedStill> stills;
  for (int i = 0; i < 2500; ++i) stills.push_back(Still(i));
  ASSERT_TRUE(journal_.Write(Pointers(stills)));
  const auto back = ReadBack();
  ASSERT_EQ(back.size(), 2500u);
  EXPECT_EQ(back.back().identity, stills.back().identity);
}

// A long run of arrivals and transfers keeps the log near the size of what waits.
TEST_F(StillJournalTest, LogIsWrittenWholeAgainBeforeItGrowsLong) {
  std::deque<ArrivedStill> stills;
  for (int i = 0; i < 5; ++i) stills.push_back(Still(i));
  ASSERT_TRUE(journal_.Write(Pointers(stills)));
  std::size_t longest = 0;
  for (int i = 5; i < 205; ++i) {
    stills.pop_front();
    stills.push_back(Still(i));
    ASSERT_TRUE(journal_.Write(Pointers(stills)));
    longest = std::max(longest, LineCount(ReadFileBytes(journal_.file())));
  }
  EXPECT_LE(longest, 2 * 5 + 256 + 3u);
  const auto back = ReadBack();
  ASSERT_EQ(back.size(), 5u);
  EXPECT_EQ(back.front().identity, stills.front().identity);
  EXPECT_EQ(back.back().identity, stills.back().identity);
}

// A power cut while a record is appended leaves it cut short at the end: it never took
// effect, as what it records is done only once it is on the disk.
TEST_F(StillJournalTest, RecordCutShortAtTheEndIsLeftOut) {
  std::deque<ArrivedStill> stills{Still(1)};
  ASSERT_TRUE(journal_.Write(Pointers(stills)));
  stills.push_back(Still(2));
  ASSERT_TRUE(journal_.Write(Pointers(stills)));
  std::string text = ReadFileBytes(journal_.file());
  text.resize(text.size() - 10);
  std::string error;
  const auto back = ParseJournal(text, Settings{}, &error);
  ASSERT_TRUE(back) << error;
  ASSERT_EQ(back->size(), 1u);
  EXPECT_EQ((*back)[0].identity, Still(1).identity);
}

}  // namespace
}  // namespace velmarin::test
