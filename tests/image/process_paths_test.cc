#include "image/capture_processing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "image/jpeg_files.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};

class ProcessPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto paint = [](int x, int y) { return test::Rgb{x % 256, y % 256, 60}; };
    test::WriteJpeg(jpeg_, test::PaintPicture(64, 48, paint), 80);
  }

  ImageStatus Process(const std::filesystem::path& source, const std::filesystem::path& target) {
    return ProcessCapturedImage(source, target, settings_, "0", kNow).status;
  }

  test::TempDir dir_;
  const std::filesystem::path jpeg_ = dir_ / "444.jpg";
  Settings settings_ = test::DefaultTestSettings();
};

TEST_F(ProcessPathsTest, WithoutRangeAndStampsAJpegIsCopiedByteForByte) {
  settings_[SettingSlot::SourceRange].clear();
  settings_[SettingSlot::TextLines].clear();
  settings_[SettingSlot::JpegQuality] = Cp932Text("5");
  const std::filesystem::path upper = dir_ / "photo.JPG";
  std::filesystem::copy_file(jpeg_, upper);
  for (const auto& source : {jpeg_, upper}) {
    const std::filesystem::path target = dir_ / "copy.jpg";
    test::WriteFileBytes(target, "an older file of the same name");
    EXPECT_EQ(Process(source, target), ImageStatus::kDone) << source;
    EXPECT_EQ(test::ReadFileBytes(target), test::ReadFileBytes(jpeg_)) << source;
  }
  // Only the copy is left: no temporary file beside it.
  EXPECT_EQ(test::FolderEntries(dir_.path()).size(), 3u);
}

TEST_F(ProcessPathsTest, CopyToATargetNameOfTheLongestLength) {
  settings_[SettingSlot::SourceRange].clear();
  settings_[SettingSlot::TextLines].clear();
  const std::filesystem::path target = dir_ / (std::string(251, 'n') + ".jpg");  // 255 bytes
  EXPECT_EQ(Process(jpeg_, target), ImageStatus::kDone);
  EXPECT_EQ(test::ReadFileBytes(target), test::ReadFileBytes(jpeg_));
  EXPECT_EQ(test::FolderEntries(dir_.path()).size(), 2u);
}

// Success is what was written, never whether a name exists: a folder of the target's name
// makes every copy attempt fail, with pauses between them.
TEST_F(ProcessPathsTest, FailedCopyIsACopyFailure) {
  settings_[SettingSlot::SourceRange].clear();
  settings_[SettingSlot::TextLines].clear();
  const std::filesystem::path blocked = dir_ / "blocked.jpg";
  std::filesystem::create_directory(blocked);  // a folder cannot be replaced by the copy
  std::filesystem::create_directory(blocked / "inside");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Process(jpeg_, blocked), ImageStatus::kCopyFailed);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));
  EXPECT_EQ(test::FolderEntries(dir_.path()).size(), 2u);
}

TEST_F(ProcessPathsTest, MixedCaseJpgIsTakenForABmp) {
  const std::filesystem::path mixed = dir_ / "photo.Jpg";
  std::filesystem::copy_file(jpeg_, mixed);
  EXPECT_FALSE(ReadAsJpeg(mixed));
  EXPECT_EQ(Process(mixed, dir_ / "out.jpg"), ImageStatus::kSourceNotDecoded);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.jpg"));
}

TEST_F(ProcessPathsTest, MissingTargetFolder) {
  EXPECT_EQ(Process(jpeg_, dir_ / "no such folder" / "out.jpg"), ImageStatus::kTargetNotCreated);
}

TEST_F(ProcessPathsTest, SourceThatCannotBeOpened) {
  EXPECT_EQ(Process(dir_ / "gone.jpg", dir_ / "out.jpg"), ImageStatus::kSourceNotOpened);
}

TEST_F(ProcessPathsTest, JpegThatDoesNotDecode) {
  const std::string bytes = test::ReadFileBytes(jpeg_);
  const std::filesystem::path cut = dir_ / "cut.jpg";
  test::WriteFileBytes(cut, bytes.substr(0, bytes.size() / 2));
  const std::filesystem::path target = dir_ / "out.jpg";
  test::WriteFileBytes(target, "previous");
  const ImageResult result = ProcessCapturedImage(cut, target, settings_, "0", kNow);
  EXPECT_EQ(result.status, ImageStatus::kSourceNotDecoded);
  EXPECT_NE(result.detail.find("Premature end of JPEG file"), std::string::npos) << result.detail;
  EXPECT_EQ(test::ReadFileBytes(target), "previous");
}

// The monitor's road: the still is decoded once and the edit works on that picture.
class ProcessPictureTest : public ProcessPathsTest {
 protected:
  ImageStatus ProcessPicture(const std::filesystem::path& still, bool file_is_picture,
                             const std::filesystem::path& target) {
    ImageResult read;
    std::optional<Dib> dib = ReadJpegFile(still, read);
    EXPECT_TRUE(dib && NormalizeDibWidth(*dib)) << still;
    if (!dib) return read.status;
    CapturedPicture picture{std::move(*dib), still, file_is_picture};
    ReplacedName name(target);
    return ProcessCapturedPicture(picture, name, settings_, "0", kNow).status;
  }
};

TEST_F(ProcessPictureTest, EditedPictureIsWhatTheEditOfTheFileGives) {
  settings_[SettingSlot::TextLines].clear();  // no fonts needed: the bands alone
  ASSERT_EQ(ProcessPicture(jpeg_, true, dir_ / "road.jpg"), ImageStatus::kDone);
  ASSERT_EQ(Process(jpeg_, dir_ / "file.jpg"), ImageStatus::kDone);
  EXPECT_EQ(test::ReadFileBytes(dir_ / "road.jpg"), test::ReadFileBytes(dir_ / "file.jpg"));
}

TEST_F(ProcessPictureTest, WithoutEditsTheStillOrItsCutPictureAtQuality100GoesOut) {
  settings_[SettingSlot::SourceRange].clear();
  settings_[SettingSlot::TextLines].clear();
  settings_[SettingSlot::JpegQuality] = Cp932Text("5");
  ASSERT_EQ(ProcessPicture(jpeg_, true, dir_ / "copy.jpg"), ImageStatus::kDone);
  EXPECT_EQ(test::ReadFileBytes(dir_ / "copy.jpg"), test::ReadFileBytes(jpeg_));

  const std::filesystem::path wide = dir_ / "wide.jpg";
  test::WriteJpeg(wide,
                  test::PaintPicture(66, 48,
                                     [](int x, int y) {
                                       return test::Rgb{x * 3, y * 5, 90};
                                     }),
                  80);
  ASSERT_EQ(ProcessPicture(wide, false, dir_ / "cut.jpg"), ImageStatus::kDone);
  ASSERT_TRUE(NormalizeJpegWidth(wide, dir_ / "work.jpg").ok());
  EXPECT_EQ(test::ReadFileBytes(dir_ / "cut.jpg"), test::ReadFileBytes(dir_ / "work.jpg"));
}

TEST_F(ProcessPictureTest, UnwritableTargetWithoutEditsIsACopyFailure) {
  settings_[SettingSlot::SourceRange].clear();
  settings_[SettingSlot::TextLines].clear();
  const std::filesystem::path blocked = dir_ / "blocked.jpg";
  std::filesystem::create_directories(blocked / "inside");
  EXPECT_EQ(ProcessPicture(jpeg_, false, blocked), ImageStatus::kCopyFailed);
  EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));
}

}  // namespace
}  // namespace velmarin
