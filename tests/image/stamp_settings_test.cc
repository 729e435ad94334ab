#include "image/stamp_settings.h"

#include <gtest/gtest.h>

#include <climits>

#include "image/capture_processing.h"

namespace velmarin {
namespace {

// The scanning itself is ScanfReader's; here only what the colour adds to it.
TEST(StampSettingsTest, ColorValueKeepsTheWindowsByteOrderInTwentyFourBits) {
  EXPECT_EQ(ParseColorValue("0000FF"), 0x0000FFu);  // lowest byte: red
  EXPECT_EQ(ParseColorValue("FF0000"), 0xFF0000u);  // highest byte: blue
  EXPECT_EQ(ParseColorValue("1FFFFFF"), 0xFFFFFFu);
  EXPECT_EQ(ParseColorValue("-1"), 0xFFFFFFu);
  EXPECT_EQ(ParseColorValue("#FFFFFF"), std::nullopt);
}

TEST(StampSettingsTest, SourceRangeScansFourNumbers) {
  EXPECT_EQ(ParseSourceRange("20,23,-20,-23"), (SourceRect{20, 23, -20, -23}));
  EXPECT_EQ(ParseSourceRange("-5,-5,600,400"), (SourceRect{-5, -5, 600, 400}));
  EXPECT_EQ(ParseSourceRange(" 1, +2,\t3, 4 and more,5"), (SourceRect{1, 2, 3, 4}));
  EXPECT_EQ(ParseSourceRange("1,2,3,99999999999"), (SourceRect{1, 2, 3, INT_MAX}));
}

TEST(StampSettingsTest, SourceRangeWithoutFourNumbers) {
  EXPECT_EQ(ParseSourceRange(""), std::nullopt);
  EXPECT_EQ(ParseSourceRange("10,10,100"), std::nullopt);
  EXPECT_EQ(ParseSourceRange("10,10,100,"), std::nullopt);
  EXPECT_EQ(ParseSourceRange("a,10,100,100"), std::nullopt);
  EXPECT_EQ(ParseSourceRange("10 ,10,100,100"), std::nullopt);  // a literal comma is exact
  EXPECT_EQ(ParseSourceRange("10,10,- 1,100"), std::nullopt);
}

TEST(StampSettingsTest, DefaultTextLinesGiveTwoStamps) {
  const auto stamps = ParseTextLines(
      Cp932Text("150,5,3,ID:$i06 $y.$M.$d $h:$m:$s,150,5,-22,Pellandor TEL:000-000-0000"));
  ASSERT_EQ(stamps.size(), 2u);
  EXPECT_EQ(stamps[0], (Stamp{150, 5, 3, Cp932Text("ID:$i06 $y.$M.$d $h:$m:$s")}));
  EXPECT_EQ(stamps[1], (Stamp{150, 5, -22, Cp932Text("Pellandor TEL:000-000-0000")}));
}

TEST(StampSettingsTest, StampTextDropsLeadingBlanksAndKeepsInnerOnes) {
  EXPECT_EQ(ParseTextLines(Cp932Text("150,10,10, 5 min")),
            (std::vector<Stamp>{{150, 10, 10, "5 min"}}));
  EXPECT_EQ(ParseTextLines(Cp932Text("150,10,10, \t a  b ,1,2,3,c")),
            (std::vector<Stamp>{{150, 10, 10, "a  b "}, {1, 2, 3, "c"}}));
}

TEST(StampSettingsTest, TrailingFieldsAndBrokenGroups) {
  EXPECT_EQ(ParseTextLines(Cp932Text("150,5,3,abc,150,5")),
            (std::vector<Stamp>{{150, 5, 3, "abc"}}));
  EXPECT_EQ(ParseTextLines(Cp932Text("x,5,3,abc,100,1,2,def")),
            (std::vector<Stamp>{{100, 1, 2, "def"}}));
  EXPECT_EQ(ParseTextLines(Cp932Text("150,5,3,")), (std::vector<Stamp>{{150, 5, 3, ""}}));
  EXPECT_EQ(ParseTextLines(Cp932Text("150,5,3,   ")), (std::vector<Stamp>{{150, 5, 3, ""}}));
  EXPECT_TRUE(ParseTextLines(Cp932Text("")).empty());
  EXPECT_TRUE(ParseTextLines(Cp932Text("150,5,3")).empty());
}

TEST(StampSettingsTest, TwoByteTextIsCarriedWhole) {
  // "日本,語" in code page 932: the comma ends the text, the two-byte characters stay whole.
  const std::string text = "100,1,2,\x93\xFA\x96\x7B,\x8C\xEA";
  EXPECT_EQ(ParseTextLines(Cp932Text(text)), (std::vector<Stamp>{{100, 1, 2, "\x93\xFA\x96\x7B"}}));
}

TEST(StampSettingsTest, PixelSizeRoundsLikeMulDiv) {
  EXPECT_EQ(StampPixelSize(150), 20);
  EXPECT_EQ(StampPixelSize(100), 13);  // 13.33
  EXPECT_EQ(StampPixelSize(4), 1);     // 0.53
  EXPECT_EQ(StampPixelSize(3), 0);     // 0.4
  EXPECT_EQ(StampPixelSize(-100), -13);
  EXPECT_EQ(StampPixelSize(61439), 8192);
  EXPECT_EQ(StampPixelSize(INT_MAX), kMaxStampPixelSize);
}

TEST(StampSettingsTest, CoordinatesCountFromTheFarEdge) {
  EXPECT_EQ(CountFromEdge(-20, 640), 620);
  EXPECT_EQ(CountFromEdge(20, 640), 20);
  EXPECT_EQ(CountFromEdge(INT_MIN, 640), static_cast<long long>(INT_MIN) + 640);
}

TEST(StampSettingsTest, RowSpansCoverEachStampWithMargins) {
  // Default stamps at 20 pixels: rows 3 and 458 with 42 rows above and 82 below.
  EXPECT_EQ(StampRowSpans(Cp932Text("150,5,3,a,150,5,-22,b"), 480),
            (std::vector<RowSpan>{{0, 85}, {416, 480}}));
  EXPECT_EQ(StampRowSpans(Cp932Text("150,5,100,a,150,5,120,b"), 480),
            (std::vector<RowSpan>{{58, 202}}));
  EXPECT_EQ(StampRowSpans(Cp932Text("150,5,120,a,150,5,100,b"), 480),
            (std::vector<RowSpan>{{58, 202}}));
  // No text, no height or outside the picture: no rows.
  EXPECT_TRUE(StampRowSpans(Cp932Text("150,5,3,,3,5,3,a,150,5,900,c,150,5,-900,d"), 480).empty());
  EXPECT_TRUE(StampRowSpans(Cp932Text(""), 480).empty());
}

TEST(StampSettingsTest, JpegQualityIsHeldInRange) {
  EXPECT_EQ(JpegQualityOf("80"), 80);
  EXPECT_EQ(JpegQualityOf("abc"), 95);
  EXPECT_EQ(JpegQualityOf(""), 95);
  EXPECT_EQ(JpegQualityOf("0"), 1);
  EXPECT_EQ(JpegQualityOf("500"), 100);
}

}  // namespace
}  // namespace velmarin
