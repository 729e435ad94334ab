#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "image/bmp_reader.h"
#include "image/dib_convert.h"
#include "support/pictures.h"

namespace velmarin {
namespace {

// Builds BMP files field by field so each test states what it varies.
struct BmpBuilder {
  std::uint32_t header_size = 40;
  std::int32_t width = 4;
  std::int32_t height = 2;
  std::uint16_t planes = 1;
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t image_size = 0;
  std::int32_t x_density = 2835;
  std::int32_t y_density = 2835;
  std::uint32_t colours_used = 0;
  std::string masks{};    // written right behind the header
  std::string palette{};  // 4 bytes per entry
  std::string gap{};      // bytes between palette and pixels
  std::string pixels{};
  std::int64_t file_size = -1;  // -1: the real size
  std::int64_t offset = -1;     // -1: right behind the palette and the gap

  std::string Build() const {
    std::string file = "BM" + std::string(12 + header_size, '\0');
    std::uint8_t* const bytes = reinterpret_cast<std::uint8_t*>(file.data());
    std::uint8_t* const info = bytes + 14;
    Put32(info, header_size);
    Put32(info + 4, static_cast<std::uint32_t>(width));
    Put32(info + 8, static_cast<std::uint32_t>(height));
    Put16(info + 12, planes);
    Put16(info + 14, bits);
    Put32(info + 16, compression);
    Put32(info + 20, image_size);
    Put32(info + 24, static_cast<std::uint32_t>(x_density));
    Put32(info + 28, static_cast<std::uint32_t>(y_density));
    Put32(info + 32, colours_used);
    const std::size_t pixel_offset = file.size() + masks.size() + palette.size() + gap.size();
    const std::size_t size = pixel_offset + pixels.size();
    Put32(bytes + 2, static_cast<std::uint32_t>(file_size < 0 ? size : file_size));
    Put32(bytes + 10, static_cast<std::uint32_t>(offset < 0 ? pixel_offset : offset));
    file += masks + palette + gap + pixels;
    return file;
  }
};

using test::DecodeBmpBytes;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// The first `count` bytes of row `y` of `dib`.
std::string RowBytes(const Dib& dib, int y, std::size_t count) {
  return std::string(reinterpret_cast<const char*>(dib.row(y)), count);
}

// Two rows of four 24-bit pixels: bottom row first in the file.
BmpBuilder TwentyFourBit() {
  BmpBuilder b;
  b.pixels = Bytes({1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,    // bottom row
                    21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32});  // top row
  return b;
}

// The file of TwentyFourBit() with one change.
std::string TwentyFourBitWith(void (*change)(BmpBuilder&)) {
  BmpBuilder b = TwentyFourBit();
  change(b);
  return b.Build();
}

TEST(ReadBmpToDibTest, TwentyFourBitWithImageSizeZeroUsesStrideTimesHeight) {
  const std::optional<Dib> dib = DecodeBmpBytes(TwentyFourBit().Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->header(), (BitmapInfoHeader{.biSize = 40,
                                             .biWidth = 4,
                                             .biHeight = 2,
                                             .biPlanes = 1,
                                             .biBitCount = 24,
                                             .biSizeImage = 24}));
  EXPECT_EQ(dib->row(0)[0], 1);
  EXPECT_EQ(dib->row(1)[11], 32);
}

TEST(ReadBmpToDibTest, ColourTableOfTwentyFourBitFileIsSkipped) {
  BmpBuilder b = TwentyFourBit();
  b.colours_used = 3;
  b.palette = std::string(12, '\x7F');
  b.gap = "xyz!";
  const std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->colour_table_entries(), 0u);
  EXPECT_EQ(dib->pixels() - dib->block().data(), 40);
  EXPECT_EQ(dib->pixels()[0], 1);  // the first pixel row lands right behind the header
}

TEST(ReadBmpToDibTest, PaddingOfTwentyFourBitRowsIsZeroed) {
  const BmpBuilder b{
      .width = 3, .height = 1, .pixels = Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0xAA, 0xBB, 0xCC})};
  const std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->row(0)[8], 9);
  EXPECT_EQ(dib->row(0)[9], 0);
  EXPECT_EQ(dib->row(0)[11], 0);
}

TEST(ReadBmpToDibTest, TopDownRowsAreFlippedToBottomUp) {
  BmpBuilder b = TwentyFourBit();
  b.height = -2;
  const std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->header().biHeight, 2);
  EXPECT_EQ(dib->row(0)[0], 21);  // the file's second row is the bottom one
  EXPECT_EQ(dib->row(1)[0], 1);
}

TEST(ReadBmpToDibTest, IndexedPicturesKeepTheirColourTable) {
  BmpBuilder b{.width = 8,
               .height = 1,
               .bits = 1,
               .colours_used = 2,
               .palette = Bytes({10, 20, 30, 0, 200, 210, 220, 0}),
               .pixels = Bytes({0x80, 0, 0, 0})};
  std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->bit_count(), 1);
  EXPECT_EQ(dib->colour_table_entries(), 2u);
  EXPECT_EQ(dib->color_table()[4], 200);
  const std::optional<Dib> rgb = ExpandDibTo24(*dib);
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->row(0)[2], 220);
  EXPECT_EQ(rgb->row(0)[5], 30);

  // colours_used 0 means the full table of 2^bits entries.
  b.bits = 4;
  b.colours_used = 0;
  b.palette = std::string(16 * 4, '\x05');
  b.pixels = Bytes({0xF1, 0, 0, 0});
  dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->colour_table_entries(), 16u);
  EXPECT_EQ(dib->row(0)[0], 0xF1);
}

TEST(ReadBmpToDibTest, SixteenAndThirtyTwoBitBecomeTwentyFourBit) {
  // 5-5-5: pure red, pure blue
  BmpBuilder b{.width = 2, .height = 1, .bits = 16, .pixels = Bytes({0x00, 0x7C, 0x1F, 0x00})};
  std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->bit_count(), 24);
  EXPECT_EQ(RowBytes(*dib, 0, 6), Bytes({0, 0, 255, 255, 0, 0}));

  b.compression = 3;  // 5-6-5 masks
  b.masks = Bytes({0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0});
  b.pixels = Bytes({0xE0, 0x07, 0x10, 0x00});  // pure green; blue 16 of 31
  dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(RowBytes(*dib, 0, 6), Bytes({0, 255, 0, 132, 0, 0}));

  b.bits = 32;
  b.compression = 0;
  b.masks.clear();
  b.pixels = Bytes({1, 2, 3, 99, 4, 5, 6, 99});
  dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(RowBytes(*dib, 0, 8), Bytes({1, 2, 3, 4, 5, 6, 0, 0}));
}

TEST(ReadBmpToDibTest, LongerInfoHeadersAreRead) {
  for (std::uint32_t size : {52u, 56u, 108u, 124u}) {
    BmpBuilder b = TwentyFourBit();
    b.header_size = size;
    const std::optional<Dib> dib = DecodeBmpBytes(b.Build());
    ASSERT_TRUE(dib) << size;
    EXPECT_EQ(dib->header().biSize, 40u);
    EXPECT_EQ(dib->row(1)[0], 21);
  }
}

TEST(ReadBmpToDibTest, RunLengthEncodedPicturesAreDecoded) {
  BmpBuilder b{.width = 5,
               .height = 2,
               .bits = 8,
               .compression = 1,
               .colours_used = 4,
               .palette = std::string(16, '\x01')};
  // Row 0: three of index 2, one of 1, one of 3; end of line. Row 1: move 4 right, one of 3;
  // end of bitmap.
  b.pixels = Bytes({3, 2, 1, 1, 1, 3, 0, 0, 0, 2, 4, 0, 1, 3, 0, 1});
  b.image_size = static_cast<std::uint32_t>(b.pixels.size());
  std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->bit_count(), 8);
  EXPECT_EQ(RowBytes(*dib, 0, 5), Bytes({2, 2, 2, 1, 3}));
  EXPECT_EQ(RowBytes(*dib, 1, 5), Bytes({0, 0, 0, 0, 3}));

  b.bits = 4;
  b.compression = 2;
  b.pixels = Bytes({5, 0x12, 0, 0, 0, 3, 0x30, 0x20, 0, 1});  // 1 2 1 2 1 / literal 3 0 2
  b.image_size = static_cast<std::uint32_t>(b.pixels.size());
  dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(RowBytes(*dib, 0, 5), Bytes({1, 2, 1, 2, 1}));
  EXPECT_EQ(RowBytes(*dib, 1, 3), Bytes({3, 0, 2}));
}

// Writers that encode the row padding make runs reach past a width that is not a multiple
// of four; the pixels in the padding are dropped.
TEST(ReadBmpToDibTest, RunsIntoTheRowPaddingAreClipped) {
  // Rows of 5 pixels are padded to 8.
  BmpBuilder b{
      .width = 5, .height = 2, .bits = 8, .compression = 1, .palette = std::string(256 * 4, '\0')};
  b.pixels = Bytes({8, 7, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1});
  b.image_size = static_cast<std::uint32_t>(b.pixels.size());
  std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(RowBytes(*dib, 0, 8), Bytes({7, 7, 7, 7, 7, 0, 0, 0}));
  EXPECT_EQ(RowBytes(*dib, 1, 8), Bytes({1, 2, 3, 4, 5, 0, 0, 0}));
  b.pixels = Bytes({9, 7, 0, 1});  // past the padding: damaged
  b.image_size = 4;
  EXPECT_FALSE(DecodeBmpBytes(b.Build()));

  b.bits = 4;  // 4-bit rows of 5 pixels are padded to 8 pixels as well
  b.compression = 2;
  b.palette = std::string(16 * 4, '\0');
  b.pixels = Bytes({8, 0x12, 0, 0, 0, 8, 0x34, 0x56, 0x78, 0x9A, 0, 1});
  b.image_size = static_cast<std::uint32_t>(b.pixels.size());
  dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  EXPECT_EQ(RowBytes(*dib, 0, 8), Bytes({1, 2, 1, 2, 1, 0, 0, 0}));
  EXPECT_EQ(RowBytes(*dib, 1, 8), Bytes({3, 4, 5, 6, 7, 0, 0, 0}));
}

TEST(ReadBmpToDibTest, RunsLeavingThePictureFail) {
  BmpBuilder b{
      .width = 4, .height = 2, .bits = 8, .compression = 1, .palette = std::string(256 * 4, '\0')};
  for (const std::string& data :
       {Bytes({5, 1, 0, 1}),                    // run longer than the row
        Bytes({0, 6, 1, 2, 3, 4, 5, 6, 0, 1}),  // literal longer than the row
        Bytes({0, 0, 0, 0, 0, 0, 1, 1, 0, 1}),  // lines past the top
        Bytes({0, 2, 9, 0, 0, 1}),              // move past the right edge
        Bytes({0, 3, 1, 2})}) {                 // literal cut short
    b.pixels = data;
    b.image_size = static_cast<std::uint32_t>(data.size());
    EXPECT_FALSE(DecodeBmpBytes(b.Build())) << testing::PrintToString(data);
  }
  b.height = -2;  // run-length data must be bottom-up
  b.pixels = Bytes({4, 1, 0, 1});
  b.image_size = 4;
  EXPECT_FALSE(DecodeBmpBytes(b.Build()));
}

TEST(ReadBmpToDibTest, FieldsThePictureNeedsAreChecked) {
  ASSERT_TRUE(DecodeBmpBytes(TwentyFourBit().Build()));
  const std::vector<void (*)(BmpBuilder&)> changes = {
      [](BmpBuilder& b) { b.bits = 30000; },      // no such bit count
      [](BmpBuilder& b) { b.width = -4; },        // negative width
      [](BmpBuilder& b) { b.height = 0; },        // no rows
      [](BmpBuilder& b) { b.header_size = 66; },  // no such header
      [](BmpBuilder& b) { b.compression = 4; },   // embedded JPEG
      [](BmpBuilder& b) { b.compression = 3; },   // bit fields need 16 or 32 bits
      [](BmpBuilder& b) { b.offset = 20; },       // inside the header
      [](BmpBuilder& b) { b.offset = 5000; },     // past the end
  };
  for (std::size_t i = 0; i < changes.size(); ++i)
    EXPECT_FALSE(DecodeBmpBytes(TwentyFourBitWith(changes[i]))) << i;
}

// Planes, densities, the file size field, a 24-bit picture's colour count and an image size
// larger than what is left play no part in reading the picture: each is read as it is.
TEST(ReadBmpToDibTest, FieldsThePictureDoesNotNeedRefuseNothing) {
  const std::optional<Dib> plain = DecodeBmpBytes(TwentyFourBit().Build());
  ASSERT_TRUE(plain);
  const std::vector<void (*)(BmpBuilder&)> changes = {
      [](BmpBuilder& b) { b.planes = 30000; },
      [](BmpBuilder& b) {
        b.x_density = 30000000;
        b.y_density = 3;
      },
      [](BmpBuilder& b) { b.x_density = -5; },
      [](BmpBuilder& b) { b.file_size = 0x7F000000; },
      [](BmpBuilder& b) { b.image_size = 0x7F000000; },  // every row is there all the same
      [](BmpBuilder& b) { b.colours_used = 0x12345678; },
      [](BmpBuilder&) {},
  };
  std::vector<std::string> variants;
  for (const auto& change : changes) variants.push_back(TwentyFourBitWith(change));
  std::fill_n(variants[6].begin() + 14, 4, '\0');  // a header size of 0 is taken as 40
  for (std::size_t i = 0; i < variants.size(); ++i) {
    const std::optional<Dib> dib = DecodeBmpBytes(variants[i]);
    ASSERT_TRUE(dib) << i;
    EXPECT_EQ(dib->block(), plain->block()) << i;
  }
}

// A colour count no table of the bit count can have: the table is what fits before the pixels.
TEST(ReadBmpToDibTest, ImpossibleColourCountTakesTheTableThatFits) {
  BmpBuilder b{.width = 4,
               .height = 1,
               .bits = 8,
               .colours_used = 0x12345678,
               .palette = Bytes({10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0}),
               .pixels = Bytes({0, 1, 2, 1})};
  std::optional<Dib> dib = DecodeBmpBytes(b.Build());
  ASSERT_TRUE(dib);
  const std::optional<Dib> expanded = ExpandDibTo24(*dib);
  ASSERT_TRUE(expanded);
  EXPECT_EQ(RowBytes(*expanded, 0, 12), Bytes({10, 20, 30, 40, 50, 60, 70, 80, 90, 40, 50, 60}));
  b.pixels = Bytes({0, 1, 3, 1});  // index 3 is past the three entries
  EXPECT_FALSE(DecodeBmpBytes(b.Build()));
}

TEST(ReadBmpToDibTest, ShortFilesAndOtherFilesFail) {
  const std::string good = TwentyFourBit().Build();
  for (std::size_t size :
       {std::size_t{1}, std::size_t{13}, std::size_t{30}, std::size_t{54}, good.size() - 1}) {
    BmpBuilder b = TwentyFourBit();
    b.file_size = 0;  // so only the missing bytes tell
    EXPECT_FALSE(DecodeBmpBytes(b.Build().substr(0, size))) << size;
  }
  std::string other = good;
  other[0] = 'P';
  EXPECT_FALSE(DecodeBmpBytes(other));
  EXPECT_FALSE(ReadBmpToDib(nullptr));
}

TEST(ReadBmpToDibTest, PixelLimitIsCheckedBeforeAnythingIsAllocated) {
  BmpBuilder b = TwentyFourBit();
  b.width = 60000;
  b.height = 60000;  // 3.6 gigapixels, claimed by a 78-byte file
  EXPECT_FALSE(DecodeBmpBytes(b.Build()));
  b.width = kMaxDimension + 1;
  b.height = 1;
  EXPECT_FALSE(DecodeBmpBytes(b.Build()));
}

}  // namespace
}  // namespace velmarin
