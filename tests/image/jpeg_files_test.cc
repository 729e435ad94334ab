#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image/dib_convert.h"
#include "image/jpeg_files.h"
#include "support/pictures.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;
using test::DecodeJpegFile;
using test::FolderEntries;
using test::JpegBytesOf;
using test::PixelOf;
using test::ReadFileBytes;
using test::RunUnprivileged;
using test::TempDir;
using test::WriteFileBytes;

TEST(NormalizeJpegWidthTest, Width641BecomesA640WideQuality100Copy) {
  TempDir dir;
  const Dib picture = test::MakeGradientDib(641, 480);
  ASSERT_TRUE(WriteJpegFileAtomically(dir / "source.jpg", picture, 90, false).ok());
  const ImageResult result = NormalizeJpegWidth(dir / "source.jpg", dir / "444.jpg");
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.detail, "");

  // Expected: the decoded source, columns floor(x * 641 / 640), encoded at quality 100.
  Dib decoded = *DecodeJpegFile(dir / "source.jpg");
  Dib expected = *Dib::Create(640, 480, 24);
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      std::memcpy(expected.row(y) + 3 * x, decoded.row(y) + 3 * (x * 641 / 640), 3);
    }
  }
  EXPECT_EQ(ReadFileBytes(dir / "444.jpg"), JpegBytesOf(expected, 100));

  std::optional<Dib> written = DecodeJpegFile(dir / "444.jpg");
  ASSERT_TRUE(written);
  EXPECT_EQ(written->width(), 640);
  EXPECT_EQ(written->height(), 480);
  EXPECT_LT(test::Compare(*written, expected).mean, 1.0);  // quality 100
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"444.jpg", "source.jpg"}));
}

TEST(NormalizeJpegWidthTest, Width640IsReencodedPixelForPixel) {
  TempDir dir;
  ASSERT_TRUE(
      WriteJpegFileAtomically(dir / "source.jpg", test::MakeGradientDib(640, 480), 80, false).ok());
  ASSERT_TRUE(NormalizeJpegWidth(dir / "source.jpg", dir / "444.jpg").ok());
  const Dib decoded = *DecodeJpegFile(dir / "source.jpg");
  EXPECT_EQ(ReadFileBytes(dir / "444.jpg"), JpegBytesOf(decoded, 100));
  const Dib result = *DecodeJpegFile(dir / "444.jpg");
  EXPECT_EQ(result.width(), 640);
  EXPECT_LT(test::Compare(result, decoded).mean, 1.0);
}

TEST(NormalizeJpegWidthTest, UnreadableUndecodableAndTooNarrowSources) {
  TempDir dir;
  EXPECT_EQ(NormalizeJpegWidth(dir / "missing.jpg", dir / "444.jpg").status,
            ImageStatus::kSourceNotOpened);

  // The library's reason goes with the failure.
  WriteFileBytes(dir / "bad.jpg", "\xFF\xD8\xFF garbage");
  const ImageResult bad = NormalizeJpegWidth(dir / "bad.jpg", dir / "444.jpg");
  EXPECT_EQ(bad.status, ImageStatus::kSourceNotDecoded);
  EXPECT_FALSE(bad.detail.empty());

  ASSERT_TRUE(
      WriteJpegFileAtomically(dir / "narrow.jpg", test::MakeGradientDib(3, 40), 90, false).ok());
  EXPECT_EQ(NormalizeJpegWidth(dir / "narrow.jpg", dir / "444.jpg").status,
            ImageStatus::kSourceNotDecoded);
  EXPECT_FALSE(fs::exists(dir / "444.jpg"));

  ASSERT_TRUE(
      WriteJpegFileAtomically(dir / "source.jpg", test::MakeGradientDib(8, 8), 90, false).ok());
  EXPECT_EQ(NormalizeJpegWidth(dir / "source.jpg", dir / "none" / "444.jpg").status,
            ImageStatus::kTargetNotCreated);
}

TEST(ReadPictureFileTest, AnUnreadableSourceSaysTheSystemsReason) {
  TempDir dir;
  ASSERT_TRUE(
      WriteJpegFileAtomically(dir / "still.jpg", test::MakeGradientDib(8, 8), 90, false).ok());
  fs::permissions(dir / "still.jpg", fs::perms::none);
  const std::string outcome = RunUnprivileged(dir.path(), [&] {
    ImageResult result;
    const bool read = ReadJpegFile(dir / "still.jpg", result).has_value();
    return std::string(!read && result.status == ImageStatus::kSourceNotOpened ? "not opened: "
                                                                               : "other: ") +
           result.detail;
  });
  EXPECT_EQ(outcome, "not opened: Permission denied");
}

// A 24-bit BMP file of a plain red picture.
void WriteRedBmp(const fs::path& path, int width, int height) {
  const auto red = [](int, int) { return test::Rgb{200, 0, 0}; };
  test::WriteBmp24(path, test::PaintPicture(width, height, red));
}

TEST(ConvertBmpToJpegTest, WritesTheJpeg) {
  TempDir dir;
  WriteRedBmp(dir / "in.bmp", 10, 6);
  ASSERT_TRUE(ConvertBmpToJpeg(dir / "in.bmp", dir / "temp.jpg", 99).ok());
  std::optional<Dib> out = DecodeJpegFile(dir / "temp.jpg");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->width(), 10);
  EXPECT_NEAR(PixelOf(*out, 4, 3).r, 200, 3);
}

TEST(ConvertBmpToJpegTest, SaysWhichFileFailed) {
  TempDir dir;
  EXPECT_EQ(ConvertBmpToJpeg(dir / "none.bmp", dir / "out.jpg", 99).status,
            ImageStatus::kSourceNotOpened);

  WriteFileBytes(dir / "fake.bmp", "PK this is no bitmap at all, just some text....");
  EXPECT_EQ(ConvertBmpToJpeg(dir / "fake.bmp", dir / "out.jpg", 99).status,
            ImageStatus::kSourceNotDecoded);

  WriteRedBmp(dir / "in.bmp", 4, 4);
  EXPECT_EQ(ConvertBmpToJpeg(dir / "in.bmp", dir / "missing" / "out.jpg", 99).status,
            ImageStatus::kTargetNotCreated);
  EXPECT_FALSE(fs::exists(dir / "out.jpg"));
}

// A PNG still takes the BMP's road: decoded (through Qt), upright, then written as a JPEG.
TEST(ConvertPngToJpegTest, WritesTheUprightPictureOrReportsTheFailure) {
  TempDir dir;
  QImage png(12, 8, QImage::Format_ARGB32);
  png.fill(QColor(20, 40, 200));
  for (int x = 0; x < 12; ++x) {  // the top two rows (one block of subsampled colour)
    png.setPixelColor(x, 0, QColor(250, 250, 250));
    png.setPixelColor(x, 1, QColor(250, 250, 250));
  }
  ASSERT_TRUE(png.save(QString::fromStdString((dir / "in.png").string()), "PNG"));
  ASSERT_TRUE(ConvertPngToJpeg(dir / "in.png", dir / "temp.jpg", 99).ok());
  std::optional<Dib> out = DecodeJpegFile(dir / "temp.jpg");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->width(), 12);
  EXPECT_EQ(out->height(), 8);
  EXPECT_TRUE(test::Near(PixelOf(*out, 5, 5), test::Rgb{20, 40, 200}, 8));
  EXPECT_TRUE(test::Near(PixelOf(*out, 5, 0), test::Rgb{250, 250, 250}, 8));

  WriteFileBytes(dir / "cut.png", ReadFileBytes(dir / "in.png").substr(0, 30));
  EXPECT_EQ(ConvertPngToJpeg(dir / "cut.png", dir / "out.jpg", 99).status,
            ImageStatus::kSourceNotDecoded);
  EXPECT_EQ(ConvertPngToJpeg(dir / "none.png", dir / "out.jpg", 99).status,
            ImageStatus::kSourceNotOpened);
  EXPECT_FALSE(fs::exists(dir / "out.jpg"));
}

// The replacement itself (temporary name, permissions, long names) is AtomicFile's; here only
// what the JPEG writer adds: the picture and which failure it reports.
TEST(WriteJpegFileAtomicallyTest, ReplacesTheTargetWithThePicture) {
  TempDir dir;
  WriteFileBytes(dir / "t.jpg", "old");
  ASSERT_TRUE(WriteJpegFileAtomically(dir / "t.jpg", test::MakeGradientDib(8, 8), 90, false).ok());
  EXPECT_EQ(ReadFileBytes(dir / "t.jpg").substr(0, 2), "\xFF\xD8");
}

TEST(WriteJpegFileAtomicallyTest, EncoderFailureLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  WriteFileBytes(dir / "t.jpg", "old");
  Dib broken = test::MakeGradientDib(8, 8);
  BitmapInfoHeader header = broken.header();
  header.biWidth = 4000;  // promises more rows than the block holds
  broken.SetHeader(header);
  EXPECT_EQ(WriteJpegFileAtomically(dir / "t.jpg", broken, 90, false).status,
            ImageStatus::kTargetNotWritten);
  EXPECT_EQ(ReadFileBytes(dir / "t.jpg"), "old");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"t.jpg"});
}

TEST(WriteJpegFileAtomicallyTest, MissingFolderOrFolderInTheWayIsAnOpenFailure) {
  TempDir dir;
  EXPECT_EQ(WriteJpegFileAtomically(dir / "none" / "t.jpg", test::MakeGradientDib(8, 8), 90, false)
                .status,
            ImageStatus::kTargetNotCreated);
  EXPECT_TRUE(FolderEntries(dir.path()).empty());

  fs::create_directory(dir / "t.jpg");
  EXPECT_EQ(WriteJpegFileAtomically(dir / "t.jpg", test::MakeGradientDib(8, 8), 90, false).status,
            ImageStatus::kTargetNotCreated);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"t.jpg"});
}

TEST(WriteJpegFileAtomicallyTest, ReadOnlyFolderLeavesNoPartialFile) {
  TempDir dir;
  const fs::path folder = dir / "ro";
  fs::create_directory(folder);
  WriteFileBytes(folder / "t.jpg", "old");
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  const Dib picture = test::MakeGradientDib(8, 8);
  const std::string outcome = RunUnprivileged(dir.path(), [&] {
    const ImageResult result = WriteJpegFileAtomically(folder / "t.jpg", picture, 90, false);
    return std::string(result.status == ImageStatus::kTargetNotCreated ? "not created: "
                                                                       : "other: ") +
           result.detail;
  });
  fs::permissions(folder, fs::perms::owner_all);
  // The system's reason goes with the failure.
  EXPECT_EQ(outcome, "not created: Permission denied");
  EXPECT_EQ(ReadFileBytes(folder / "t.jpg"), "old");
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"t.jpg"});
}

}  // namespace
}  // namespace velmarin
