#include "image/stamping.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <string>

#include "platform/encoding.h"

namespace velmarin {
namespace {

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};
const QColor kPicture(0x20, 0x80, 0x40);
const QColor kGrey(0x64, 0x64, 0x64);
constexpr char kDefaultRange[] = "20,23,-20,-23";
constexpr char kDefaultLines[] =
    "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s,150,5,-22,Pellandor TEL:000-000-0000";

std::string Mincho() { return Utf8ToCp932("ＭＳ 明朝").value().bytes(); }

QImage Picture(int width = 640, int height = 480) {
  QImage image(width, height, QImage::Format_BGR888);
  image.fill(kPicture);
  return image;
}

struct Edit {
  std::string range = kDefaultRange;
  std::string lines = kDefaultLines;
  std::string font = Mincho();
  std::string back = "646464";
  std::string text = "FFFFFF";
  std::string id = "123";
};

QImage Apply(const Edit& edit, QImage image = Picture()) {
  QPainter painter(&image);
  ApplyRangeAndStamps(painter, image.width(), image.height(), edit.range, Cp932Text(edit.lines),
                      Cp932Text(edit.font), edit.back, edit.text, Cp932Text(edit.id), kNow);
  return image;
}

Edit StampOnly(std::string lines) {
  Edit edit;
  edit.range.clear();
  edit.lines = std::move(lines);
  return edit;
}

// The smallest rectangle holding every pixel of `image` that is not the picture colour.
QRect ChangedBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) != kPicture) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

int CountPixels(const QImage& image, const QRect& area, bool (*match)(const QColor&)) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) count += match(image.pixelColor(x, y));
  }
  return count;
}

bool IsWhite(const QColor& c) { return c.red() > 220 && c.green() > 220 && c.blue() > 220; }
bool IsRed(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }
bool IsBlue(const QColor& c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; }

TEST(StampDrawingTest, DefaultRangeFillsTheFourBands) {
  const QImage image = Apply(Edit{});
  for (int y : {0, 22, 200, 457, 479}) {
    EXPECT_EQ(image.pixelColor(0, y), kGrey) << y;
    EXPECT_EQ(image.pixelColor(19, y), kGrey) << y;
    EXPECT_EQ(image.pixelColor(620, y), kGrey) << y;
    EXPECT_EQ(image.pixelColor(639, y), kGrey) << y;
  }
  for (int x : {600, 619}) {
    EXPECT_EQ(image.pixelColor(x, 22), kGrey) << x;
    EXPECT_EQ(image.pixelColor(x, 457), kGrey) << x;
  }
  // The kept rectangle is x 20-619, y 23-456.
  EXPECT_EQ(ChangedBox(image.copy(20, 23, 600, 434)), QRect());
}

TEST(StampDrawingTest, DefaultStampsAreWhiteOnGreyInTheBands) {
  const QImage image = Apply(Edit{});
  // Glyphs of the ID line start right of x 5 within the top band, those of the second line
  // within the bottom band; nothing but grey lies left of and above their cells.
  EXPECT_GT(CountPixels(image, QRect(5, 3, 400, 20), IsWhite), 100);
  EXPECT_GT(CountPixels(image, QRect(5, 458, 400, 22), IsWhite), 100);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 5, 480), IsWhite), 0);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 640, 3), IsWhite), 0);
  EXPECT_EQ(CountPixels(image, QRect(0, 23, 640, 435), IsWhite), 0);
}

TEST(StampDrawingTest, StampCellIsOpaqueAtItsTopLeftCorner) {
  Edit edit = StampOnly("150,100,100,abc");
  edit.back = "0000FF";
  const QImage image = Apply(edit);
  const QRect box = ChangedBox(image);
  EXPECT_EQ(box.topLeft(), QPoint(100, 100));
  EXPECT_EQ(box.height(), 20);  // one em at 15 points, as the cell of the Windows face
  EXPECT_GT(box.width(), 20);
  EXPECT_TRUE(IsRed(image.pixelColor(100, 100)));
  EXPECT_GT(CountPixels(image, box, IsWhite), 10);
}

TEST(StampDrawingTest, TextColorReadsBlueGreenRed) {
  Edit edit = StampOnly("300,10,10,HHHH");
  edit.text = "0000FF";
  const QImage red = Apply(edit);
  EXPECT_GT(CountPixels(red, ChangedBox(red), IsRed), 50);
  EXPECT_EQ(CountPixels(red, ChangedBox(red), IsBlue), 0);
  edit.text = "FF0000";
  const QImage blue = Apply(edit);
  EXPECT_GT(CountPixels(blue, ChangedBox(blue), IsBlue), 50);
  EXPECT_EQ(CountPixels(blue, ChangedBox(blue), IsRed), 0);
}

TEST(StampDrawingTest, NegativePositionCountsFromTheRightAndBottom) {
  EXPECT_EQ(ChangedBox(Apply(StampOnly("100,-100,-30,abc"))).topLeft(), QPoint(540, 450));
}

TEST(StampDrawingTest, LeadingBlankOfTheTextIsDropped) {
  EXPECT_EQ(Apply(StampOnly("150,10,10, 5 min")), Apply(StampOnly("150,10,10,5 min")));
  EXPECT_NE(Apply(StampOnly("150,10,10,5 min")), Apply(StampOnly("150,10,10,5min")));
}

TEST(StampDrawingTest, TrailingFieldsAreNotDrawn) {
  EXPECT_EQ(Apply(StampOnly("150,5,3,abc,150,5")), Apply(StampOnly("150,5,3,abc")));
}

TEST(StampDrawingTest, TextIsExpandedWithIdAndTime) {
  EXPECT_EQ(Apply(StampOnly("150,5,3,$i06 $y$M$d $h$m$s $r03")),
            Apply(StampOnly("150,5,3,000123 20120928 140509 $r03")));
}

TEST(StampDrawingTest, NoRangeFillsNothingButStampsAreDrawn) {
  for (const char* range : {"", "10,10,100"}) {
    const QImage image = Apply(Edit{.range = range});
    EXPECT_EQ(image.pixelColor(639, 200), kPicture) << range;
    EXPECT_GT(CountPixels(image, QRect(5, 3, 400, 20), IsWhite), 100) << range;
  }
}

TEST(StampDrawingTest, NegativeRangeOriginLeavesLeftAndTopBandsEmpty) {
  const QImage image = Apply(Edit{.range = "-5,-5,600,400", .lines = ""});
  EXPECT_EQ(ChangedBox(image.copy(0, 0, 600, 400)), QRect());
  EXPECT_EQ(image.pixelColor(600, 0), kGrey);
  EXPECT_EQ(image.pixelColor(639, 479), kGrey);
  EXPECT_EQ(image.pixelColor(0, 400), kGrey);
}

TEST(StampDrawingTest, RangeBeyondThePictureFillsWhatLiesInside) {
  // The left band covers all; the right band starts at -60.
  Edit edit{.range = "700,-10,-700,900", .lines = ""};
  EXPECT_EQ(Apply(edit).pixelColor(320, 240), kGrey);
  edit.range = "0,0,640,480";  // every band empty
  EXPECT_EQ(Apply(edit), Picture());
}

TEST(StampDrawingTest, NothingToDraw) {
  EXPECT_EQ(Apply(StampOnly("")), Picture());
  for (const char* lines : {"150,5,3,", "150,5,3,   ", "0,5,3,abc", "-150,5,3,abc", "3,5,3,abc",
                            "abc,5,3,text", "150,x,3,text"}) {
    EXPECT_EQ(Apply(StampOnly(lines)), Picture()) << lines;
  }
}

// An ID stamp must not vanish for one bad character: what does not convert is drawn as "?".
TEST(StampDrawingTest, CharactersThatDoNotConvertAreDrawnAsQuestionMarks) {
  EXPECT_EQ(Apply(StampOnly("150,5,3,ID:$i06 \xA0\x82")), Apply(StampOnly("150,5,3,ID:000123 ??")));
  EXPECT_NE(Apply(StampOnly("150,5,3,\x82")), Picture());
}

TEST(StampDrawingTest, ColorsThatDoNotScan) {
  Edit edit{.back = "zz"};  // no fill; the stamp cells stay transparent, the glyphs are drawn
  QImage image = Apply(edit);
  EXPECT_EQ(image.pixelColor(0, 200), kPicture);
  EXPECT_GT(CountPixels(image, QRect(5, 3, 400, 20), IsWhite), 100);
  edit.back = "646464";
  edit.text = "zz";  // fill, but no stamp
  image = Apply(edit);
  EXPECT_EQ(image.pixelColor(0, 200), kGrey);
  EXPECT_EQ(CountPixels(image, image.rect(), IsWhite), 0);
}

TEST(StampDrawingTest, OutlandishNumbersStayHarmless) {
  const QImage far = Apply(StampOnly("150,2147483647,-2147483648,abc"));
  EXPECT_EQ(far, Picture());
  const QImage huge = Apply(StampOnly("2147483647,0,0,W"));
  EXPECT_NE(huge, Picture());
}

TEST(StampDrawingTest, OtherFacesAndTwoByteText) {
  Edit edit = StampOnly("150,10,10," + Utf8ToCp932("日本語").value().bytes());
  const QImage mincho = Apply(edit);
  EXPECT_NE(mincho, Picture());
  edit.font = Utf8ToCp932("ＭＳ ゴシック").value().bytes();
  EXPECT_NE(Apply(edit), mincho);
  edit.font = "No Such Face At All";
  EXPECT_NE(Apply(edit), Picture());
}

TEST(StampDrawingTest, FullNamesOfTheFontListFindTheirFaces) {
  Edit edit = StampOnly("150,10,10,Wide Stamp 123");
  edit.font = Utf8ToCp932("IPA明朝").value().bytes();
  const QImage japanese_name = Apply(edit);
  edit.font = "IPAMincho";
  EXPECT_EQ(japanese_name, Apply(edit));
  edit.font = "DejaVu Sans";
  const QImage regular = Apply(edit);
  edit.font = "DejaVu Sans Bold";  // a style of the family, not a family of its own
  EXPECT_NE(Apply(edit), regular);
}

}  // namespace
}  // namespace velmarin
