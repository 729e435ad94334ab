#include "transfer/image_completeness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stop_token>

#include "support/temp_dir.h"
#include "transfer/folder_fakes.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

const CompletenessLimits kQuick{std::chrono::milliseconds(1), 2, std::chrono::milliseconds(50)};

class Completeness : public ::testing::Test {
 protected:
  bool Judge(std::string_view bytes) {
    WriteFileBytes(dir_ / "image", bytes);
    return ImageLooksComplete(dir_ / "image");
  }
  TempDir dir_;
  const std::string jpeg_ = JpegBytes(64, 48, 1);
  const std::string bmp_ = BmpBytes(5, 3, 1);
};

TEST_F(Completeness, JpegMustEndWithItsMarkerAndDecode) {
  ASSERT_GT(jpeg_.size(), 100u);
  EXPECT_TRUE(Judge(jpeg_));
  EXPECT_TRUE(Judge(jpeg_ + std::string(300, '\0')));  // preallocated tail
  EXPECT_FALSE(Judge(jpeg_.substr(0, jpeg_.size() / 2)));
  EXPECT_FALSE(Judge(jpeg_.substr(0, jpeg_.size() - 1)));
  // Ends with the marker, but half of the picture is missing.
  EXPECT_FALSE(Judge(jpeg_.substr(0, jpeg_.size() / 2) + "\xFF\xD9"));
}

TEST_F(Completeness, BmpMustReachTheEndOfItsPixelData) {
  EXPECT_TRUE(Judge(bmp_));
  EXPECT_FALSE(Judge(bmp_.substr(0, bmp_.size() - 1)));
  EXPECT_FALSE(Judge(bmp_.substr(0, 20)));  // headers not complete yet
}

TEST_F(Completeness, OtherContentCountsWhenNotEmpty) {
  EXPECT_TRUE(Judge("some other format"));
  EXPECT_FALSE(Judge(""));
  EXPECT_FALSE(ImageLooksComplete(dir_ / "missing"));
}

TEST_F(Completeness, WaitEndsTrueForAStableCompleteFile) {
  WriteFileBytes(dir_ / "a.jpg", jpeg_);
  EXPECT_TRUE(WaitUntilComplete(dir_ / "a.jpg", {}, kQuick));
}

TEST_F(Completeness, WholeContentNeedsNoStableSize) {
  // Far more size checks than the time allows: only the content can end the wait in time.
  const CompletenessLimits strict{std::chrono::milliseconds(10), 1000,
                                  std::chrono::milliseconds(50)};
  WriteFileBytes(dir_ / "a.jpg", jpeg_);
  WriteFileBytes(dir_ / "b.bmp", bmp_);
  WriteFileBytes(dir_ / "c.jpg", "some other format");
  EXPECT_TRUE(WaitUntilComplete(dir_ / "a.jpg", {}, strict));
  EXPECT_TRUE(WaitUntilComplete(dir_ / "b.bmp", {}, strict));
  EXPECT_FALSE(WaitUntilComplete(dir_ / "c.jpg", {}, strict));
}

TEST_F(Completeness, StableJpegWithDataAfterItsEndMarkerIsTakenInTime) {
  // Some writers append their own data after the picture; it decodes whole all the same.
  WriteFileBytes(dir_ / "a.jpg", jpeg_ + "trailing data of the writer");
  EXPECT_TRUE(ImageLooksComplete(dir_ / "a.jpg"));
  EXPECT_TRUE(WaitUntilComplete(dir_ / "a.jpg", {}, kQuick));
}

TEST_F(Completeness, WaitGivesUpOnAFileThatStaysIncompleteOrDisappears) {
  WriteFileBytes(dir_ / "a.jpg", jpeg_.substr(0, 100));
  EXPECT_FALSE(WaitUntilComplete(dir_ / "a.jpg", {}, kQuick));
  EXPECT_FALSE(WaitUntilComplete(dir_ / "missing.jpg", {}, kQuick));
}

TEST_F(Completeness, WaitEndsAtAStopRequest) {
  WriteFileBytes(dir_ / "a.jpg", jpeg_.substr(0, 100));
  std::stop_source stop;
  stop.request_stop();
  const CompletenessLimits patient{std::chrono::milliseconds(1), 2, std::chrono::hours(1)};
  EXPECT_FALSE(WaitUntilComplete(dir_ / "a.jpg", stop.get_token(), patient));
}

}  // namespace
}  // namespace velmarin::test
