#include "platform/font_enumeration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace velmarin {
namespace {

using ::testing::Contains;
using ::testing::Not;

// The IPA and DejaVu fonts are build dependencies; fontconfig gives the IPA fonts English and
// Japanese names, and DejaVu Sans several faces and a style-linked family of its own.
TEST(FontEnumerationTest, ListsEachFamilyOnceByItsJapaneseName) {
  const auto names = EnumerateFontFamilies();
  EXPECT_THAT(names, Contains("IPA明朝"));
  EXPECT_THAT(names, Contains("IPA Pゴシック"));
  EXPECT_THAT(names, Not(Contains("IPAMincho")));
  EXPECT_EQ(std::count(names.begin(), names.end(), "DejaVu Sans"), 1);
  EXPECT_THAT(names, Not(Contains("DejaVu Sans Bold")));
  EXPECT_THAT(names, Not(Contains("DejaVu Sans Condensed")));
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
