#include "transfer/image_failure_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/capture_processing.h"
#include "image/jpeg_files.h"
#include "support/pictures.h"
#include "support/recorded_messages.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;
using Kind = ImageStep::Kind;

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};

// Each image failure, made for real, and the text the user is given for it.
class ImageFailureTextsTest : public ::testing::Test {
 protected:
  ImageFailureTextsTest() { test::WriteJpeg(jpeg_, test::MakeGradientDib(16, 8)); }

  // What `result` of `step` leaves in the title; the boxes are in messages_.
  std::string Said(const ImageStep& step, const ImageResult& result) {
    LastErrorText errors;
    ReportImageResult(step, result, errors, messages_);
    return errors.Shown().bytes();
  }
  std::string Converted(Kind kind, const fs::path& source, const fs::path& target) {
    const ImageResult result = kind == Kind::kBmpToJpeg ? ConvertBmpToJpeg(source, target, 99)
                                                        : ConvertPngToJpeg(source, target, 99);
    return Said({kind, source, target}, result);
  }
  std::string Processed(const fs::path& source, const fs::path& target) {
    return Said({Kind::kProcess, source, target},
                ProcessCapturedImage(source, target, settings_, "0", kNow));
  }

  test::TempDir dir_;
  const fs::path jpeg_ = dir_ / "in.jpg";
  Settings settings_ = test::DefaultTestSettings();
  test::RecordedMessages messages_;
};

TEST_F(ImageFailureTextsTest, ConversionsNameTheFileThatFailed) {
  EXPECT_EQ(
      Converted(Kind::kBmpToJpeg, dir_ / "none.bmp", dir_ / "o.jpg"),
      (dir_ / "none.bmp").string() + ":Bmp_to_Jpg bmp open error! (No such file or directory)");
  EXPECT_EQ(
      Converted(Kind::kPngToJpeg, dir_ / "none.png", dir_ / "o.jpg"),
      (dir_ / "none.png").string() + ":Png_to_Jpg png open error! (No such file or directory)");
  test::WriteFileBytes(dir_ / "fake.bmp", "PK this is no bitmap at all, just some text....");
  EXPECT_EQ(Converted(Kind::kBmpToJpeg, dir_ / "fake.bmp", dir_ / "o.jpg"),
            "BMP file read error! ");
  EXPECT_EQ(Converted(Kind::kPngToJpeg, dir_ / "fake.bmp", dir_ / "o.jpg"),
            "PNG file read error! ");
  test::WriteBmp24(dir_ / "in.bmp", test::MakeGradientDib(4, 4));
  EXPECT_EQ(Converted(Kind::kBmpToJpeg, dir_ / "in.bmp", dir_ / "none" / "o.jpg"),
            (dir_ / "none" / "o.jpg").string() +
                ":Bmp_to_Jpg jpg open error! (No such file or directory)");
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(ImageFailureTextsTest, PathsGoIntoTheTextsAsCodePage932) {
  // "画像" is 0x89 0xE6 0x91 0x9C in code page 932.
  EXPECT_NE(Converted(Kind::kBmpToJpeg, dir_ / "\xE7\x94\xBB\xE5\x83\x8F.bmp", dir_ / "o.jpg")
                .find("\x89\xE6\x91\x9C.bmp:Bmp_to_Jpg bmp open error! "),
            std::string::npos);
  // A character code page 932 lacks (U+0101) becomes one '?'.
  EXPECT_NE(Converted(Kind::kBmpToJpeg, dir_ / "a\xC4\x81.bmp", dir_ / "o.jpg")
                .find("a?.bmp:Bmp_to_Jpg bmp open error! "),
            std::string::npos);
}

// The library's or the system's reason follows the text; a BMP read has none.
TEST_F(ImageFailureTextsTest, ProcessingTextsCarryTheLibrarysReason) {
  EXPECT_EQ(Processed(dir_ / "gone.jpg", dir_ / "o.jpg"),
            "fopen_error! (No such file or directory)");
  const std::string bytes = test::ReadFileBytes(jpeg_);
  test::WriteFileBytes(dir_ / "cut.jpg", bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(Processed(dir_ / "cut.jpg", dir_ / "o.jpg"),
            "jpg_read_dib_file error! (Premature end of JPEG file)");
  fs::copy_file(jpeg_, dir_ / "photo.bmp");
  EXPECT_EQ(Processed(dir_ / "photo.bmp", dir_ / "o.jpg"), "bmp_read_dib_file_error! ");
  EXPECT_EQ(Processed(jpeg_, dir_ / "none" / "o.jpg"),
            "jpg_file_open_error! (No such file or directory)");
  EXPECT_EQ(ImageFailureText({Kind::kProcess, jpeg_, {}}, ImageStatus::kCopyFailed),
            "\x93\x5D\x91\x97\x8E\xB8\x94\x73! ");  // 転送失敗!
}

// Only a picture that does not decode is said, in a box; the title is the processing's.
TEST_F(ImageFailureTextsTest, WidthStepSaysAnUndecodablePictureInABox) {
  EXPECT_EQ(Said({Kind::kNormalizeWidth, dir_ / "gone.jpg", dir_ / "444.jpg"},
                 NormalizeJpegWidth(dir_ / "gone.jpg", dir_ / "444.jpg")),
            "");
  test::WriteFileBytes(dir_ / "bad.jpg", "\xFF\xD8\xFF garbage");
  EXPECT_EQ(Said({Kind::kNormalizeWidth, dir_ / "bad.jpg", dir_ / "444.jpg"},
                 NormalizeJpegWidth(dir_ / "bad.jpg", dir_ / "444.jpg")),
            "");
  ASSERT_EQ(messages_.texts().size(), 1u);
  EXPECT_EQ(messages_.texts()[0].rfind("JPEG read error! (", 0), 0u) << messages_.texts()[0];
}

// Damage the decoder went past is said about the image that was sent; a clean image leaves
// an earlier text alone.
TEST_F(ImageFailureTextsTest, DoneResultSaysOnlyTheLibrarysNote) {
  LastErrorText errors;
  errors.Set(Cp932Text("fopen_error! "));
  ReportImageResult({Kind::kProcess, jpeg_, {}}, {}, errors, messages_);
  EXPECT_EQ(errors.Generation(), 1u);
  ReportImageResult({Kind::kNormalizeWidth, jpeg_, {}},
                    {ImageStatus::kDone, "Corrupt JPEG data: bad Huffman code"}, errors, messages_);
  EXPECT_EQ(errors.Shown(), "Corrupt JPEG data: bad Huffman code");
  EXPECT_TRUE(messages_.texts().empty());
}

}  // namespace
}  // namespace velmarin
