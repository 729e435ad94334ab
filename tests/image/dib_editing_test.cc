#include "image/dib_editing.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cstring>
#include <string>

#include "image/stamping.h"
#include "platform/encoding.h"
#include "support/pictures.h"

namespace velmarin {
namespace {

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};

test::Rgb Texture(int x, int y) { return {(x * 3 + y) % 256, (y * 5) % 256, (x ^ y) % 256}; }

// The expected result: the picture upright, edited by ApplyRangeAndStamps.
QImage EditedUpright(int width, int height, const Settings& s) {
  QImage image(width, height, QImage::Format_BGR888);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const test::Rgb c = Texture(x, y);
      image.setPixelColor(x, y, QColor(c.r, c.g, c.b));
    }
  }
  QPainter painter(&image);
  ApplyRangeAndStamps(painter, width, height, s[SettingSlot::SourceRange].view(),
                      s[SettingSlot::TextLines], s[SettingSlot::TextFont],
                      s[SettingSlot::TextBackColor].view(), s[SettingSlot::TextColor].view(), "42",
                      kNow);
  return image;
}

// Number of pixels where the edited Dib differs from the upright reference.
int DifferingPixels(int width, int height, const Settings& settings) {
  Dib dib = test::PaintPicture(width, height, Texture);
  EditDibInPlace(dib, settings, Cp932Text("42"), kNow);
  const QImage expected = EditedUpright(width, height, settings);
  int differing = 0;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = dib.row(height - 1 - y);
    differing += std::memcmp(row, expected.constScanLine(y), std::size_t(width) * 3) != 0;
    // Row padding stays zero.
    for (std::size_t i = std::size_t(width) * 3; i < dib.stride(); ++i) differing += row[i] != 0;
  }
  return differing;
}

struct EditCase {
  int width;
  int height;
  const char* range;
  const char* lines;
  const char* back;
};

class DibEditingTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(DibEditingTest, MatchesTheUprightDrawing) {
  const EditCase& c = GetParam();
  Settings settings = test::DefaultTestSettings();
  settings[SettingSlot::SourceRange] = Cp932Text(c.range);
  settings[SettingSlot::TextLines] = Cp932Text(c.lines);
  settings[SettingSlot::TextBackColor] = Cp932Text(c.back);
  EXPECT_EQ(DifferingPixels(c.width, c.height, settings), 0);
}

constexpr char kDefaultLines[] =
    "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s,150,5,-22,Pellandor TEL:000-000-0000";

INSTANTIATE_TEST_SUITE_P(
    Settings, DibEditingTest,
    ::testing::Values(EditCase{640, 480, "20,23,-20,-23", kDefaultLines, "646464"},
                      EditCase{641, 481, "20,23,-20,-23", kDefaultLines, "0000FF"},
                      EditCase{643, 37, "-5,-5,600,20", "100,-100,-30,abc,90,0,-3,|_gjpq|", "FF"},
                      EditCase{320, 240, "", "150,10,-8, 5 min,600,0,100,Big,150,3,230,_", "zz"},
                      EditCase{64, 48, "1,2,3,4", "", "646464"},
                      EditCase{64, 48, "10,10,100", "61439,0,0,W", "646464"}));

TEST(DibEditingTwoByteTest, JapaneseTextMatchesToo) {
  Settings settings = test::DefaultTestSettings();
  settings[SettingSlot::TextLines] = "200,30,30," + Utf8ToCp932("日本語のテキスト").value();
  EXPECT_EQ(DifferingPixels(400, 100, settings), 0);
}

}  // namespace
}  // namespace velmarin
