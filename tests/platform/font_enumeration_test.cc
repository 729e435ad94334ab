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

}  // namespace
}  // namespace velmarin
