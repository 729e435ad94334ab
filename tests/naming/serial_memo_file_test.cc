#include "naming/serial_memo_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>

#include "naming/serial_search.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

constexpr std::size_t kMax = 8;

std::vector<SavedSerialStart> OddStarts() {
  return {
      {{7, 42, 100'500'000'000, 100'500'000'001},
       std::string("3\0/a\tb\n%41\r\xff", 12),
       61,
       101'500'000'000},
      {{std::numeric_limits<std::uint64_t>::max(), 1, -5, 0}, "x", kSerialLimit - 1, -1},
  };
}

TEST(SerialMemoFile, StartsWithAnyBytesInTheirNamesComeBackAsWritten) {
  EXPECT_EQ(ParseSerialStarts(FormatSerialStarts(OddStarts()), kMax), OddStarts());
  EXPECT_EQ(ParseSerialStarts(FormatSerialStarts({}), kMax), std::vector<SavedSerialStart>());
}

TEST(SerialMemoFile, ADamagedTextIsIgnoredAsAWhole) {
  const std::string text = FormatSerialStarts(OddStarts());
  const std::size_t first_line = text.find('\n') + 1;
  const std::size_t second_line = text.find('\n', first_line) + 1;
  for (std::size_t cut = 1; cut < text.size(); ++cut) {
    // Whole lines gone cannot be told, and harm nothing: a start less to begin from.
    if (cut == first_line || cut == second_line) continue;
    EXPECT_EQ(ParseSerialStarts(text.substr(0, cut), kMax), std::nullopt) << cut;
  }
  std::string other_version = text;
  other_version[other_version.find('1')] = '2';
  EXPECT_EQ(ParseSerialStarts(other_version, kMax), std::nullopt);
  EXPECT_EQ(ParseSerialStarts(text, 1), std::nullopt);  // more lines than are ever kept
  for (const std::string line :
       {"1\t2\t3\t4\t0\t6\tk\n", "1\t2\t3\t4\t5\t6\t\n", "1\t2\t3\t4\t5\t6\tk%4\n",
        "1\t2\t3\t4\t5\t6\n", "1\t2\t3\t4\t5x\t6\tk\n", "1\t2\t3\t4\t99999\t6\tk\n"}) {
    EXPECT_EQ(ParseSerialStarts(FormatSerialStarts({}) + line, kMax), std::nullopt) << line;
  }
}

TEST(SerialMemoFile, AWrittenFileIsReadBackFromAFolderOfItsUserAlone) {
  const test::TempDir dir;
  const std::filesystem::path file = dir / "cache" / "velmarin" / "serials";
  EXPECT_TRUE(ReadSerialStarts(file, kMax).empty());
  WriteSerialStarts(file, OddStarts());
  EXPECT_EQ(ReadSerialStarts(file, kMax), OddStarts());
  struct stat status {};
  ASSERT_EQ(::stat(file.parent_path().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST(SerialMemoFile, AnOversizedFileIsIgnored) {
  const test::TempDir dir;
  const std::filesystem::path file = dir / "serials";
  std::vector<SavedSerialStart> starts = {OddStarts()[0]};
  starts[0].key.assign(20'000, 'k');
  WriteSerialStarts(file, starts);
  ASSERT_EQ(std::filesystem::file_size(file), FormatSerialStarts(starts).size());
  EXPECT_TRUE(ReadSerialStarts(file, 1).empty());
  EXPECT_EQ(ReadSerialStarts(file, kMax), starts);
}

}  // namespace
}  // namespace velmarin
