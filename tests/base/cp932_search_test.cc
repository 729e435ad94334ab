#include "base/cp932_search.h"
#include "base/last_error_text.h"
#include "support/cp932_text_testing.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace velmarin {
namespace {

using Pos = std::optional<std::size_t>;

// 表 is 0x95 0x5C and ァ is 0x83 0x40: their second bytes are '\' and '@'.
constexpr std::string_view kHyou = "\x95\x5C";
constexpr std::string_view kSmallA = "\x83\x40";

TEST(Cp932CharacterTest, LeadByteRanges) {
  for (unsigned char byte : {0x81, 0x9F, 0xE0, 0xFC}) EXPECT_TRUE(IsCp932LeadByte(byte)) << +byte;
  // 0xA0-0xDF: half-width katakana are one byte.
  for (unsigned char byte : {0x7F, 0x80, 0xA0, 0xDF, 0xFD})
    EXPECT_FALSE(IsCp932LeadByte(byte)) << +byte;
}

TEST(Cp932CharacterTest, CharLength) {
  const std::string text = std::string("a") + std::string(kHyou) + "\xB1" + "\x95";
  EXPECT_EQ(Cp932CharLength(text, 0), 1u);
  EXPECT_EQ(Cp932CharLength(text, 1), 2u);
  EXPECT_EQ(Cp932CharLength(text, 3), 1u);
  EXPECT_EQ(Cp932CharLength(text, 4), 1u);  // a lead byte at the end stands alone
}

TEST(CutCp932Test, KeepsTheLongestFrontWithoutSplittingACharacter) {
  EXPECT_EQ(CutCp932("abc", 5), "abc");
  EXPECT_EQ(CutCp932(std::string(600, 'x'), 499), std::string(499, 'x'));
  // A two-byte character across the limit does not fit whole.
  EXPECT_EQ(CutCp932("xx\x95\x5C", 3), "xx");
  EXPECT_EQ(CutCp932("x\x95\x5Cy", 3), "x\x95\x5C");
  // A lead byte as the last byte is a character of its own.
  EXPECT_EQ(CutCp932("xx\x95", 3), "xx\x95");
  EXPECT_EQ(CutCp932("\x95\x5C", 1), "");
}

TEST(LastErrorTextTest, KeepsNinetyNineBytesAndCountsEverySet) {
  LastErrorText text;
  const std::uint64_t before = text.Generation();
  text.Set(Cp932Text(std::string(98, 'x') + "\x95\x5C"));
  EXPECT_EQ(text.Get(), std::string(98, 'x'));
  text.Set(Cp932Text(std::string(98, 'x') + "\x95\x5C"));
  EXPECT_EQ(text.Generation(), before + 2);
  text.Clear();
  EXPECT_EQ(text.Get(), "");
}

TEST(MbsFindTest, NeverMatchesAtASecondByte) {
  EXPECT_EQ(MbsFind(kHyou, "\\"), Pos());
  EXPECT_EQ(MbsFind(kSmallA, "@"), Pos());
  EXPECT_EQ(MbsFind(std::string(kHyou) + "\\", "\\"), Pos(2));
  EXPECT_EQ(MbsFind(std::string(kSmallA) + std::string(kHyou) + "x@", "@"), Pos(5));
  // A match may start at a lead byte.
  EXPECT_EQ(MbsFind(kHyou, "\x95"), Pos(0));
  EXPECT_EQ(MbsFind(std::string("ab") + std::string(kHyou), kHyou), Pos(2));
}

TEST(MbsFindTest, PlainText) {
  EXPECT_EQ(MbsFind("150,5,3,abc", ","), Pos(3));
  EXPECT_EQ(MbsFind("abc", "abc"), Pos(0));
  EXPECT_EQ(MbsFind("abc", "abcd"), Pos());
  EXPECT_EQ(MbsFind("", "a"), Pos());
}

TEST(MbsFindTest, EmptyPatternIsFoundNowhere) {
  EXPECT_EQ(MbsFind("abc", ""), Pos());
  EXPECT_EQ(MbsSkipOccurrences("abc", "", 1), Pos());
  EXPECT_EQ(MbsCount("abc", ""), 0);
  EXPECT_EQ(MbsCount("", ""), 0);
}

TEST(MbsSkipOccurrencesTest, PositionBehindTheNthMatch) {
  const std::string lines = "150,5,3,ID,150,5,-22,TEL";
  EXPECT_EQ(MbsSkipOccurrences(lines, ",", 1), Pos(4));
  EXPECT_EQ(MbsSkipOccurrences(lines, ",", 4), Pos(11));
  EXPECT_EQ(MbsSkipOccurrences(lines, ",", 7), Pos(21));
  EXPECT_EQ(MbsSkipOccurrences(lines, ",", 8), Pos());
  EXPECT_EQ(MbsSkipOccurrences(lines, ",", 0), Pos());
  EXPECT_EQ(MbsSkipOccurrences(lines, ",", -1), Pos());
  // Matches at second bytes do not count.
  const std::string mixed = std::string(kHyou) + "\\" + std::string(kHyou) + "\\";
  EXPECT_EQ(MbsSkipOccurrences(mixed, "\\", 2), Pos(6));
  EXPECT_EQ(MbsSkipOccurrences(mixed, "\\", 3), Pos());
}

TEST(MbsCountTest, CountsMatchesWithoutOverlap) {
  EXPECT_EQ(MbsCount("20,23,-20,-23", ","), 3);
  EXPECT_EQ(MbsCount("10,10,100", ","), 2);
  EXPECT_EQ(MbsCount("", ","), 0);
  EXPECT_EQ(MbsCount("aaaa", "aa"), 2);
  EXPECT_EQ(MbsCount("aaa", "aa"), 1);
  EXPECT_EQ(MbsCount(std::string(kHyou) + "," + std::string(kHyou) + "\\,", "\\"), 1);
  EXPECT_EQ(MbsCount(std::string(kSmallA) + "@" + std::string(kSmallA), "@"), 1);
}

TEST(MbsCountTest, ResumedSearchKeepsTheBoundariesOfTheWholeText) {
  // 0x88 0x88 is one character; after a match of its first byte the search resumes at
  // its second byte, which does not start a character.
  EXPECT_EQ(MbsCount("\x88\x88\x5C", "\x88"), 1);
  EXPECT_EQ(MbsSkipOccurrences("\x88\x88\x5C\x88", "\x88", 2), Pos(4));
}

// The reference: try every character start in turn.
Pos NaiveFind(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return Pos();
  for (std::size_t pos = 0; pos < text.size(); pos += Cp932CharLength(text, pos)) {
    if (text.substr(pos, pattern.size()) == pattern) return pos;
  }
  return Pos();
}

TEST(MbsFindTest, AgreesWithCharacterByCharacterSearch) {
  const std::string alphabet = "\x95\x5C\x83\x40,a\x88";
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> text_length(0, 24);
  std::uniform_int_distribution<int> pattern_length(1, 3);
  for (int i = 0; i < 20000; ++i) {
    std::string text(static_cast<std::size_t>(text_length(random)), ' ');
    for (char& c : text) c = alphabet[pick(random)];
    std::string pattern(static_cast<std::size_t>(pattern_length(random)), ' ');
    for (char& c : pattern) c = alphabet[pick(random)];
    const Pos expected = NaiveFind(text, pattern);
    ASSERT_EQ(MbsFind(text, pattern), expected) << "case " << i;
    ASSERT_EQ(MbsSkipOccurrences(text, pattern, 1),
              expected ? Pos(*expected + pattern.size()) : Pos());
  }
}

}  // namespace
}  // namespace velmarin
