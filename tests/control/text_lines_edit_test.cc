#include "control/text_lines_edit.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/encoding.h"

namespace velmarin {
namespace {

constexpr char kDefaultLines[] =
    "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s,150,5,-22,Pellandor TEL:000-000-0000";

TEST(SplitTextLinesTest, DefaultValueShowsTwoLinesAndJoinsBackUnchanged) {
  const std::string edit = SplitTextLines(kDefaultLines);
  EXPECT_EQ(edit, "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s\r\n150,5,-22,Pellandor TEL:000-000-0000");
  EXPECT_EQ(JoinTextLines(edit), kDefaultLines);
}

TEST(SplitTextLinesTest, FinalPieceOfFiveBytesOrFewerIsDropped) {
  EXPECT_EQ(SplitTextLines("150,5,3,AB,99"), "150,5,3,AB\r\n");
  EXPECT_EQ(SplitTextLines("150,5,3,AB,12345"), "150,5,3,AB\r\n");
  EXPECT_EQ(SplitTextLines("150,5,3,AB,123456"), "150,5,3,AB\r\n123456");
  EXPECT_EQ(SplitTextLines("1,2,3"), "");
  EXPECT_EQ(SplitTextLines(""), "");
}

TEST(SplitTextLinesTest, ThreeStampsWithTwoByteTextsBecomeThreeLines) {
  const std::string text = Utf8ToCp932("ＭＳ 明朝の表").value().bytes();  // 表 ends in byte 0x5C
  const std::string value = "100,1,2," + text + ",110,3,4,b c,120,-5,-6," + text;
  EXPECT_EQ(SplitTextLines(value), "100,1,2," + text + "\r\n110,3,4,b c\r\n120,-5,-6," + text);
}

TEST(JoinTextLinesTest, LineBreaksBecomeCommasATrailingBreakATrailingComma) {
  EXPECT_EQ(JoinTextLines("150,5,3,a\r\n150,5,30,b\r\n150,5,60,c\r\n"),
            "150,5,3,a,150,5,30,b,150,5,60,c,");
  EXPECT_EQ(JoinTextLines("150,5,3,a\n150,5,30,b\r\n150,5,60,c"),
            "150,5,3,a,150,5,30,b,150,5,60,c");
  EXPECT_EQ(JoinTextLines("\r\r\n"), "\r,");
}

}  // namespace
}  // namespace velmarin
