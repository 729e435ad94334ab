#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "image/dib_convert.h"
#include "image/jpeg_codec.h"
#include "support/pictures.h"

namespace velmarin {
namespace {

using test::DecodeJpegBytes;
using test::EncodeTestJpeg;
using test::JpegBytesOf;
using test::PixelOf;
using test::Rgb;
using test::TestJpegFormat;

void ExpectNear(Rgb actual, Rgb expected, int tolerance) {
  EXPECT_NEAR(actual.r, expected.r, tolerance);
  EXPECT_NEAR(actual.g, expected.g, tolerance);
  EXPECT_NEAR(actual.b, expected.b, tolerance);
}

// The scan-lines of a JPEG as the library itself decodes them: top first, red, green, blue.
std::vector<std::vector<std::uint8_t>> LibraryScanLines(const std::string& jpeg) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()),
               static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  std::vector<std::vector<std::uint8_t>> lines;
  while (cinfo.output_scanline < cinfo.output_height) {
    lines.emplace_back(std::size_t{cinfo.output_width} * 3);
    JSAMPROW row = lines.back().data();
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return lines;
}

// Orientation and byte order checked against the library directly, not against our own
// encoder or decoder, which could share one mistake and still agree with each other.
TEST(ReadJpegToDibTest, FirstScanLineBecomesTheLastRowInMemory) {
  const std::string jpeg = EncodeTestJpeg(16, 32, [](int, int y, std::uint8_t* p) {
    p[0] = y < 16 ? 230 : 20;  // red top half
    p[1] = 20;
    p[2] = y < 16 ? 20 : 230;  // blue bottom half
  });
  const std::optional<Dib> dib = DecodeJpegBytes(jpeg);
  ASSERT_TRUE(dib);
  const std::uint8_t* top = dib->row(31);
  const std::uint8_t* bottom = dib->row(0);
  EXPECT_GT(top[2], 200);  // blue, green, red
  EXPECT_LT(top[0], 50);
  EXPECT_GT(bottom[0], 200);
  EXPECT_LT(bottom[2], 50);
}

TEST(WriteDibToJpegTest, LastRowInMemoryIsTheFirstScanLineWritten) {
  Dib dib = *Dib::Create(16, 32, 24);
  for (int row = 0; row < 32; ++row) {
    for (int x = 0; x < 16; ++x) {
      std::uint8_t* p = dib.row(row) + 3 * x;
      p[0] = row >= 16 ? 20 : 230;  // blue in the rows of the lower half of the picture
      p[1] = 20;
      p[2] = row >= 16 ? 230 : 20;  // red in the rows of the upper half
    }
  }
  const std::optional<std::string> jpeg = JpegBytesOf(dib, 95);
  ASSERT_TRUE(jpeg);
  const auto lines = LibraryScanLines(*jpeg);
  ASSERT_EQ(lines.size(), 32u);
  EXPECT_GT(lines.front()[0], 200);  // red, green, blue
  EXPECT_LT(lines.front()[2], 50);
  EXPECT_GT(lines.back()[2], 200);
  EXPECT_LT(lines.back()[0], 50);
}

TEST(ReadJpegToDibTest, WidthThreeHasStrideTwelveWithZeroPadding) {
  const std::string jpeg = EncodeTestJpeg(3, 5, [](int x, int y, std::uint8_t* p) {
    p[0] = 250;
    p[1] = static_cast<std::uint8_t>(40 * x);
    p[2] = static_cast<std::uint8_t>(40 * y);
  });
  std::optional<Dib> dib = DecodeJpegBytes(jpeg);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->header(), (BitmapInfoHeader{.biSize = 40,
                                             .biWidth = 3,
                                             .biHeight = 5,
                                             .biPlanes = 1,
                                             .biBitCount = 24,
                                             .biSizeImage = 60}));
  EXPECT_EQ(dib->stride(), 12u);
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(dib->row(y)[9], 0);
    EXPECT_EQ(dib->row(y)[10], 0);
    EXPECT_EQ(dib->row(y)[11], 0);
    EXPECT_GT(PixelOf(*dib, 0, y).r, 200);  // red 250 stored as the third byte
  }
}

TEST(WriteDibToJpegTest, LastRowInMemoryBecomesTheTopOfThePicture) {
  const Dib source = test::MakeGradientDib(64, 48);
  const std::optional<std::string> jpeg = JpegBytesOf(source, 95);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(jpeg->substr(0, 2), "\xFF\xD8");
  std::optional<Dib> back = DecodeJpegBytes(*jpeg);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->width(), 64);
  ASSERT_EQ(back->height(), 48);
  for (int y : {2, 20, 30, 45}) {
    for (int x : {2, 20, 40, 60}) ExpectNear(PixelOf(*back, x, y), PixelOf(source, x, y), 8);
  }
  EXPECT_GT(PixelOf(*back, 5, 5).r, 200);  // the red marker stays top-left
  EXPECT_LT(PixelOf(*back, 5, 40).r, 50);
}

TEST(WriteDibToJpegTest, ProgressiveFlagAndIndexedInputAndQualityClamp) {
  Dib indexed = *Dib::Create(16, 16, 8, 2);
  indexed.color_table()[4 + 1] = 255;  // entry 1 is green
  for (int y = 0; y < 16; ++y) std::fill_n(indexed.row(y), 8, 1);
  const std::optional<std::string> progressive = JpegBytesOf(indexed, 90, true);
  ASSERT_TRUE(progressive);
  EXPECT_NE(progressive->find("\xFF\xC2"), std::string::npos);  // progressive frame
  std::optional<Dib> back = DecodeJpegBytes(*progressive);
  ASSERT_TRUE(back);
  ExpectNear(PixelOf(*back, 2, 2), {0, 255, 0}, 6);
  ExpectNear(PixelOf(*back, 13, 2), {0, 0, 0}, 6);

  EXPECT_NE(JpegBytesOf(indexed, 90)->find("\xFF\xC0"), std::string::npos);
  // Out-of-range qualities behave like the nearest valid one.
  EXPECT_EQ(JpegBytesOf(indexed, 250), JpegBytesOf(indexed, 100).value());
  EXPECT_EQ(JpegBytesOf(indexed, -3), JpegBytesOf(indexed, 1).value());
}

TEST(WriteDibToJpegTest, FailsCleanlyOnWriteErrorsAndInvalidBlocks) {
  const Dib source = test::MakeGradientDib(300, 300);
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  EXPECT_FALSE(WriteDibToJpeg(full, source, 90, false));
  std::fclose(full);

  Dib broken = source;
  BitmapInfoHeader h = broken.header();
  h.biHeight = 3000;
  broken.SetHeader(h);
  EXPECT_FALSE(JpegBytesOf(broken, 90));
  EXPECT_FALSE(WriteDibToJpeg(nullptr, source, 90, false));
}

TEST(ReadJpegToDibTest, GrayscaleBecomesEqualRgb) {
  const TestJpegFormat gray{.components = 1, .in_colour_space = JCS_GRAYSCALE};
  const std::string jpeg = EncodeTestJpeg(
      16, 16, [](int x, int, std::uint8_t* p) { *p = x < 8 ? 200 : 40; }, gray);
  std::optional<Dib> dib = DecodeJpegBytes(jpeg);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->bit_count(), 24);
  ExpectNear(PixelOf(*dib, 2, 5), {200, 200, 200}, 3);
  ExpectNear(PixelOf(*dib, 13, 5), {40, 40, 40}, 3);
}

// True CMYK ink for red is C 0, M 255, Y 255, K 0; for dark blue C 255, M 255, Y 0, K 128.
void FillCmyk(int x, int, std::uint8_t* p, bool inverted) {
  const std::uint8_t red[4] = {0, 255, 255, 0};
  const std::uint8_t blue[4] = {255, 255, 0, 128};
  const std::uint8_t* ink = x < 8 ? red : blue;
  for (int i = 0; i < 4; ++i) p[i] = inverted ? static_cast<std::uint8_t>(255 - ink[i]) : ink[i];
}

TEST(ReadJpegToDibTest, CmykAndYcckBecomeRgb) {
  // Adobe files store the ink inverted; a file without the Adobe marker stores it as it is.
  for (const auto& [jpeg_space, adobe] : {std::pair{JCS_CMYK, 1}, {JCS_YCCK, 1}, {JCS_CMYK, 0}}) {
    const TestJpegFormat format{.components = 4,
                                .in_colour_space = JCS_CMYK,
                                .jpeg_colour_space = jpeg_space,
                                .adobe_marker = adobe};
    const std::string jpeg = EncodeTestJpeg(
        16, 16, [&](int x, int y, std::uint8_t* p) { FillCmyk(x, y, p, adobe == 1); }, format);
    std::optional<Dib> dib = DecodeJpegBytes(jpeg);
    ASSERT_TRUE(dib) << jpeg_space << " " << adobe;
    ExpectNear(PixelOf(*dib, 2, 4), {255, 0, 0}, 6);
    ExpectNear(PixelOf(*dib, 13, 4), {0, 0, 127}, 6);
  }
}

std::string NoisyJpeg(int size) {
  return EncodeTestJpeg(size, size, [](int x, int y, std::uint8_t* p) {
    const unsigned v = static_cast<unsigned>(x * 7919 + y * 104729) * 2654435761u;
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
  });
}

TEST(ReadJpegToDibTest, TruncatedOrHalfWrittenFilesFail) {
  const std::string jpeg = NoisyJpeg(256);
  ASSERT_TRUE(DecodeJpegBytes(jpeg));
  EXPECT_FALSE(DecodeJpegBytes(jpeg.substr(0, 100)));                   // inside the headers
  EXPECT_FALSE(DecodeJpegBytes(jpeg.substr(0, jpeg.size() * 6 / 10)));  // inside the scan
  EXPECT_FALSE(DecodeJpegBytes(jpeg.substr(0, jpeg.size() - 2)));       // only EOI missing
  EXPECT_FALSE(DecodeJpegBytes("not a jpeg at all"));
  EXPECT_FALSE(DecodeJpegBytes(""));
  EXPECT_FALSE(ReadJpegToDib(nullptr));
}

// The input is read a megabyte at a time: markers skipped across reads, and scan data that
// runs over them, decode as the library decodes the whole file from memory.
TEST(ReadJpegToDibTest, FilesOfSeveralReadsDecodeAsFromMemory) {
  const std::string plain = NoisyJpeg(1000);
  std::string padded = plain.substr(0, 2);  // SOI, then 17 application markers of 64 KiB
  for (int i = 0; i < 17; ++i)
    padded += std::string("\xFF\xEF\xFF\xFF", 4) + std::string(65533, 'x');
  padded += plain.substr(2);
  ASSERT_GT(padded.size(), std::size_t{2} << 20);

  const std::optional<Dib> dib = DecodeJpegBytes(padded);
  ASSERT_TRUE(dib);
  const auto lines = LibraryScanLines(plain);
  ASSERT_EQ(lines.size(), 1000u);
  bool same = true;
  for (int y = 0; y < 1000 && same; ++y) {
    const std::uint8_t* row = dib->row(999 - y);
    for (int x = 0; x < 1000 && same; ++x) {
      const auto* rgb = &lines[static_cast<std::size_t>(y)][3 * static_cast<std::size_t>(x)];
      same = row[3 * x] == rgb[2] && row[3 * x + 1] == rgb[1] && row[3 * x + 2] == rgb[0];
    }
  }
  EXPECT_TRUE(same);
  EXPECT_FALSE(DecodeJpegBytes(padded.substr(0, (std::size_t{2} << 20) + 10)));
}

TEST(ReadJpegToDibTest, LibraryMessagesGoToTheCallerNotToStderr) {
  testing::internal::CaptureStderr();
  std::string messages;
  EXPECT_FALSE(DecodeJpegBytes("not a jpeg at all", JpegWarnings::kReportOnce, &messages));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(messages.rfind("Not a JPEG file", 0), 0u) << messages;
}

// A finished file with a damaged scan is carried as the library decodes it, as a decoder
// that stops only on errors does; its warnings are told once each, not once per block.
TEST(ReadJpegToDibTest, DamagedScanDecodesWithEachWarningToldOnce) {
  std::string jpeg = NoisyJpeg(128);
  const std::size_t scan = jpeg.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  // Bits set in the entropy-coded data (its 0xFF bytes, markers and stuffing, left alone):
  // the decoder meets bad Huffman codes more than once.
  for (std::size_t i = scan + 400; i < scan + 1400; ++i) {
    const auto byte = static_cast<std::uint8_t>(jpeg[i]);
    const auto damaged = static_cast<std::uint8_t>(byte | 0xF0);
    if (byte != 0xFF && damaged != 0xFF && static_cast<std::uint8_t>(jpeg[i - 1]) != 0xFF) {
      jpeg[i] = static_cast<char>(damaged);
    }
  }

  std::string reported;
  const std::optional<Dib> dib = DecodeJpegBytes(jpeg, JpegWarnings::kReportOnce, &reported);
  ASSERT_TRUE(dib) << reported;
  EXPECT_EQ(dib->width(), 128);
  EXPECT_EQ(dib->height(), 128);
  std::vector<std::string> told;
  for (std::size_t start = 0; start < reported.size();) {
    const std::size_t end = std::min(reported.find("; ", start), reported.size());
    told.push_back(reported.substr(start, end - start));
    start = end + 2;
  }
  // Which damage the library sees first depends on how much data it has in hand.
  EXPECT_TRUE(std::ranges::any_of(told, [](const std::string& text) {
    return text.starts_with("Corrupt JPEG data: ");
  })) << reported;
  std::sort(told.begin(), told.end());
  const auto repeated = std::adjacent_find(told.begin(), told.end());
  EXPECT_EQ(repeated, told.end()) << *repeated;

  std::string refused;
  EXPECT_FALSE(DecodeJpegBytes(jpeg, JpegWarnings::kRefuseSilently, &refused));
  EXPECT_EQ(refused, "");
}

// Bytes the decoder skips before a marker: a few after the scan are an encoder's padding and
// leave the picture whole; inside the scan data (before a restart marker), or many, the
// decoder lost its place and the picture is damaged.
TEST(ReadJpegToDibTest, ExtraneousBytesAreDamageInsideTheScanOrWhenMany) {
  TestJpegFormat restarts;
  restarts.restart_rows = 1;
  const std::string jpeg = EncodeTestJpeg(
      64, 64,
      [](int x, int y, std::uint8_t* p) {
        p[0] = static_cast<std::uint8_t>(x * 4);
        p[1] = static_cast<std::uint8_t>(y * 4);
        p[2] = 0x80;
      },
      restarts);
  const std::size_t restart = jpeg.find("\xFF\xD0");
  const std::size_t end = jpeg.rfind("\xFF\xD9");
  ASSERT_NE(restart, std::string::npos);
  const auto insert = [&](std::size_t at, std::size_t count) {
    return jpeg.substr(0, at) + std::string(count, '\x11') + jpeg.substr(at);
  };
  const auto told = [](const std::string& bytes) {
    std::string messages;
    EXPECT_TRUE(DecodeJpegBytes(bytes, JpegWarnings::kReportOnce, &messages));
    return messages;
  };
  // A few bytes, but inside the scan: the interval before the restart marker is damaged.
  EXPECT_EQ(told(insert(restart, 7)), "Corrupt JPEG data: 7 extraneous bytes before marker 0xd0");
  EXPECT_FALSE(DecodeJpegBytes(insert(restart, 7), JpegWarnings::kRefuseSilently));
  // The decoder reads a few bytes ahead of where it is: those are not counted.
  const std::string many = told(insert(end, 100));
  EXPECT_TRUE(many.starts_with("Corrupt JPEG data: 9") &&
              many.ends_with(" extraneous bytes before marker 0xd9"))
      << many;
  EXPECT_FALSE(DecodeJpegBytes(insert(end, 100), JpegWarnings::kRefuseSilently));

  EXPECT_EQ(told(insert(end, 2)), "");
  EXPECT_TRUE(DecodeJpegBytes(insert(end, 2), JpegWarnings::kRefuseSilently));
}

TEST(ReadJpegToDibTest, FileCutShortFailsEvenWhenDamageIsAllowed) {
  const std::string jpeg = NoisyJpeg(128);
  std::string messages;
  EXPECT_FALSE(
      DecodeJpegBytes(jpeg.substr(0, jpeg.size() * 8 / 10), JpegWarnings::kReportOnce, &messages));
  EXPECT_NE(messages.find("Premature end of JPEG file"), std::string::npos) << messages;
}

// Arithmetic coding codes the same coefficients as Huffman coding: the same picture comes out.
TEST(ReadJpegToDibTest, ArithmeticCodedFilesDecode) {
  const test::PixelSource pixels = [](int x, int y, std::uint8_t* p) {
    p[0] = static_cast<std::uint8_t>(x * y);
    p[1] = static_cast<std::uint8_t>(x * 16);
    p[2] = static_cast<std::uint8_t>(y * 16);
  };
  const std::string arithmetic = EncodeTestJpeg(16, 16, pixels, {.arithmetic = true});
  ASSERT_NE(arithmetic.find("\xFF\xC9"), std::string::npos);  // SOF9: arithmetic, sequential
  const std::optional<Dib> decoded = DecodeJpegBytes(arithmetic);
  const std::optional<Dib> expected = DecodeJpegBytes(EncodeTestJpeg(16, 16, pixels));
  ASSERT_TRUE(decoded && expected);
  EXPECT_EQ(test::Compare(*decoded, *expected).max, 0);
}

TEST(ReadJpegToDibTest, RefusesPicturesOverThePixelLimitBeforeDecoding) {
  std::string jpeg = NoisyJpeg(16);
  const std::size_t frame = jpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  // Frame header: marker, length (2), precision (1), height (2), width (2).
  for (const auto& [height, width] : {std::pair{0xFFFF, 0xFFFF}, std::pair{20000, 20000}}) {
    jpeg[frame + 5] = static_cast<char>(height >> 8);
    jpeg[frame + 6] = static_cast<char>(height & 0xFF);
    jpeg[frame + 7] = static_cast<char>(width >> 8);
    jpeg[frame + 8] = static_cast<char>(width & 0xFF);
    EXPECT_FALSE(DecodeJpegBytes(jpeg)) << height;
  }
}

TEST(ReadJpegToDibTest, TwelveBitFilesFailCleanly) {
  std::string jpeg = NoisyJpeg(16);
  const std::size_t frame = jpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  jpeg[frame + 4] = 12;
  EXPECT_FALSE(DecodeJpegBytes(jpeg));
}

}  // namespace
}  // namespace velmarin
