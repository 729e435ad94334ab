#include "control/font_names.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/encoding.h"

namespace velmarin {
namespace {

using ::testing::ElementsAre;

TEST(FontNameRuleTest, OneFaceForThreeCharacterSetsIsListedOnce) {
  std::string last = kFirstLastFontName;
  const auto kept =
      SkipRepeatedFontNames({"Arial", "Arial", "Arial", "Courier", "Arial"}, last, kMaxFontNames);
  EXPECT_THAT(kept, ElementsAre("Arial", "Courier", "Arial"));
  EXPECT_EQ(last, "Arial");
}

TEST(FontNameRuleTest, ANameContainedInTheOneBeforeAndAnEmptyNameAreDropped) {
  std::string last = kFirstLastFontName;
  const auto kept = SkipRepeatedFontNames({"Arial Black", "Arial", "", "Black", "Courier", "Arial"},
                                          last, kMaxFontNames);
  EXPECT_THAT(kept, ElementsAre("Arial Black", "Courier", "Arial"));
}

TEST(FontNameRuleTest, TheStartingNameAndTheLimitCount) {
  std::string last = kFirstLastFontName;
  EXPECT_THAT(SkipRepeatedFontNames({"mire", "Mirelo", "relo x"}, last, kMaxFontNames),
              ElementsAre("Mirelo", "relo x"));

  std::vector<std::string> many;
  for (int i = 0; i < 600; ++i) many.push_back("Face " + std::to_string(1000 + i));
  last = kFirstLastFontName;
  const auto kept = SkipRepeatedFontNames(many, last, kMaxFontNames);
  ASSERT_EQ(kept.size(), 500u);
  EXPECT_EQ(kept.back(), "Face 1499");
  EXPECT_EQ(last, "Face 1499");
}

TEST(FontNameListTest, KeepsTheLastNameBetweenCollectionsAndTakesNewFonts) {
  FontNameList list;
  list.Collect({"IPA明朝", "IPA P明朝", "DejaVu Sans"});
  const std::string mincho = Utf8ToCp932("IPA明朝").value().bytes();
  const std::string p_mincho = Utf8ToCp932("IPA P明朝").value().bytes();
  EXPECT_THAT(list.names(), ElementsAre(mincho, p_mincho, "DejaVu Sans"));

  // "Sans" is part of the last name of the collection before, so it is not listed.
  list.Collect({"Sans", "IPA明朝", "New Face"});
  EXPECT_THAT(list.names(), ElementsAre(mincho, "New Face"));
}

TEST(FontNameListTest, NamesCodePage932CannotHoldAreLeftOut) {
  FontNameList list;
  list.Collect({"나눔고딕", std::string(80, 'x'), std::string(79, 'y'), "Noto"});
  EXPECT_THAT(list.names(), ElementsAre(std::string(79, 'y'), "Noto"));
}

}  // namespace
}  // namespace velmarin
