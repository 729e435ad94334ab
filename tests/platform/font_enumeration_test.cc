#include "platform/font_enumeration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmarin {
namespace {

using ::testing::Contains;
using ::testing::Not;

// The IPA fonts are a build dependency; fontconfig gives them English and Japanese names.
TEST(FontEnumerationTest, ListsTheJapaneseFullNamesOfTheInstalledFonts) {
  const auto names = EnumerateFontFullNames();
  EXPECT_THAT(names, Contains("IPA明朝"));
  EXPECT_THAT(names, Contains("IPA Pゴシック"));
  EXPECT_THAT(names, Not(Contains("IPAMincho")));
}

TEST(FontEnumerationTest, AFullNameFindsTheFamilyAndStyleOfItsFace) {
  const auto mincho = FindFontByFullName("IPA明朝");
  ASSERT_TRUE(mincho);
  EXPECT_EQ(mincho->family, "IPAMincho");
  const auto bold = FindFontByFullName("DejaVu Sans Bold");
  ASSERT_TRUE(bold);
  EXPECT_EQ(bold->family, "DejaVu Sans");
  EXPECT_EQ(bold->style, "Bold");
  EXPECT_FALSE(FindFontByFullName("No Such Face 42"));
  EXPECT_FALSE(FindFontByFullName(""));
}

}  // namespace
}  // namespace velmarin
