#include "image/capture_processing.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/pictures.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

using test::Near;
using test::PixelOf;
using test::Rgb;

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};
constexpr Rgb kPicture{200, 180, 40};
constexpr Rgb kGrey{0x64, 0x64, 0x64};
constexpr int kTolerance = 4;       // plain areas at quality 95
constexpr int kEdgeTolerance = 16;  // within a texture

// Next to a sharp edge chroma subsampling blends both sides: the pixel must be closer to
// the colour of its own side than to the other.
bool CloserTo(const Rgb& pixel, const Rgb& own, const Rgb& other) {
  auto distance = [&](const Rgb& c) {
    return std::abs(pixel.r - c.r) + std::abs(pixel.g - c.g) + std::abs(pixel.b - c.b);
  };
  return distance(own) < distance(other);
}

bool IsWhite(const Rgb& c) { return c.r > 200 && c.g > 200 && c.b > 200; }

int Count(const Dib& dib, int left, int top, int width, int height, bool (*match)(const Rgb&)) {
  int count = 0;
  for (int y = top; y < top + height; ++y) {
    for (int x = left; x < left + width; ++x) count += match(PixelOf(dib, x, y));
  }
  return count;
}

class ProcessCaptureTest : public ::testing::Test {
 protected:
  // Processes a plain picture of `width` x `height` written as a JPEG; returns the result.
  Dib ProcessPlain(int width, int height, const Settings& settings) {
    test::WriteJpeg(source_, test::PaintPicture(width, height, [](int, int) { return kPicture; }));
    const ImageResult result = ProcessCapturedImage(source_, target_, settings, "123", kNow);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.detail, "");
    return test::ReadJpeg(target_);
  }

  test::TempDir dir_;
  const std::filesystem::path source_ = dir_ / "444.jpg";
  const std::filesystem::path target_ = dir_ / "out.jpg";
  Settings settings_ = test::DefaultTestSettings();
};

// Where the bands and stamps lie and how they look is ApplyRangeAndStamps' (stamp_drawing_test);
// here only that the edit of a capture draws the stamps of its settings.
TEST_F(ProcessCaptureTest, DefaultStampsAreDrawn) {
  const Dib out = ProcessPlain(640, 480, settings_);
  EXPECT_GT(Count(out, 5, 3, 300, 20, IsWhite), 100);
  EXPECT_GT(Count(out, 5, 458, 300, 20, IsWhite), 100);
}

TEST_F(ProcessCaptureTest, OddHeightStaysUpright) {
  // Distinct top and bottom thirds tell an upside-down result at once.
  auto paint = [](int, int y) {
    return y < 160 ? Rgb{220, 30, 30} : y > 320 ? Rgb{30, 30, 220} : kPicture;
  };
  test::WriteJpeg(source_, test::PaintPicture(640, 481, paint));
  settings_[SettingSlot::TextLines].clear();
  ASSERT_TRUE(ProcessCapturedImage(source_, target_, settings_, "0", kNow).ok());
  const Dib out = test::ReadJpeg(target_);
  ASSERT_EQ(out.height(), 481);
  // Bands of the default range: y 0-22 and y 458-480.
  for (int y : {0, 480}) EXPECT_TRUE(Near(PixelOf(out, 320, y), kGrey, kTolerance)) << y;
  EXPECT_TRUE(CloserTo(PixelOf(out, 320, 22), kGrey, paint(0, 22)));
  EXPECT_TRUE(CloserTo(PixelOf(out, 320, 23), paint(0, 23), kGrey));
  EXPECT_TRUE(CloserTo(PixelOf(out, 320, 457), paint(0, 457), kGrey));
  EXPECT_TRUE(CloserTo(PixelOf(out, 320, 458), kGrey, paint(0, 458)));
  EXPECT_TRUE(Near(PixelOf(out, 320, 30), paint(0, 30), kTolerance));
  EXPECT_TRUE(Near(PixelOf(out, 320, 240), paint(0, 240), kTolerance));
  EXPECT_TRUE(Near(PixelOf(out, 320, 450), paint(0, 450), kTolerance));
}

TEST_F(ProcessCaptureTest, WidthNotAMultipleOfFourUsesTheRowStride) {
  // A texture that changes along both axes: rows read at the wrong stride would shear it.
  auto paint = [](int x, int y) { return Rgb{(x / 8) * 4 % 256, (y / 8) * 4 % 256, 128}; };
  test::WriteJpeg(source_, test::PaintPicture(641, 480, paint));
  ASSERT_TRUE(ProcessCapturedImage(source_, target_, settings_, "0", kNow).ok());
  const Dib out = test::ReadJpeg(target_);
  ASSERT_EQ(out.width(), 641);
  for (int y : {100, 300, 440}) {
    for (int x : {36, 300, 612})
      EXPECT_TRUE(Near(PixelOf(out, x, y), paint(x, y), kEdgeTolerance)) << x << "," << y;
    EXPECT_TRUE(Near(PixelOf(out, 640, y), kGrey, kTolerance)) << y;
    EXPECT_TRUE(Near(PixelOf(out, 625, y), kGrey, kTolerance)) << y;
  }
}

TEST_F(ProcessCaptureTest, BmpWithoutRangeAndStampsIsEncodedUnedited) {
  auto paint = [](int x, int y) { return Rgb{x % 256, y % 256, 90}; };
  const std::filesystem::path bmp = dir_ / "capture.bmp";
  test::WriteBmp24(bmp, test::PaintPicture(320, 240, paint));
  settings_[SettingSlot::SourceRange].clear();
  settings_[SettingSlot::TextLines].clear();
  ASSERT_TRUE(ProcessCapturedImage(bmp, target_, settings_, "0", kNow).ok());
  const Dib out = test::ReadJpeg(target_);
  ASSERT_EQ(out.width(), 320);
  for (int y : {0, 120, 239}) {
    for (int x : {0, 160, 319})
      EXPECT_TRUE(Near(PixelOf(out, x, y), paint(x, y), kEdgeTolerance)) << x << "," << y;
  }
}

TEST_F(ProcessCaptureTest, EightBitBmpIsExpandedAndEdited) {
  const Rgb palette[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
  const std::filesystem::path bmp = dir_ / "capture.BMP";
  test::WriteBmp8(bmp, 64, 64, palette);
  settings_[SettingSlot::SourceRange] = Cp932Text("0,0,32,64");
  settings_[SettingSlot::TextLines].clear();
  ASSERT_TRUE(ProcessCapturedImage(bmp, target_, settings_, "0", kNow).ok());
  const Dib out = test::ReadJpeg(target_);
  EXPECT_TRUE(Near(PixelOf(out, 50, 30), kGrey, kTolerance));
  // The kept half is a fine pattern of the four palette colours: far from grey on average.
  int sum_r = 0;
  for (int x = 0; x < 28; ++x) sum_r += PixelOf(out, x, 30).r;
  EXPECT_GT(sum_r / 28, 110);
}

TEST_F(ProcessCaptureTest, QualityComesFromTheSettings) {
  auto paint = [](int x, int y) {
    return Rgb{(x * 7 + y * 13) % 256, (x * y) % 256, (x ^ y) % 256};
  };
  test::WriteJpeg(source_, test::PaintPicture(320, 240, paint));
  settings_[SettingSlot::JpegQuality] = Cp932Text("20");
  ASSERT_TRUE(ProcessCapturedImage(source_, target_, settings_, "0", kNow).ok());
  const auto low = std::filesystem::file_size(target_);
  settings_[SettingSlot::JpegQuality] = Cp932Text("not a number");  // 95
  ASSERT_TRUE(ProcessCapturedImage(source_, target_, settings_, "0", kNow).ok());
  EXPECT_GT(std::filesystem::file_size(target_), low * 2);
}

}  // namespace
}  // namespace velmarin
