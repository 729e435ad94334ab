#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "image/dib.h"
#include "image/dib_convert.h"

namespace velmarin {
namespace {

TEST(DibStrideTest, RoundsBitsUpToWholeFourByteWords) {
  EXPECT_EQ(DibStride(24, 3), 12u);
  EXPECT_EQ(DibStride(24, 4), 12u);
  EXPECT_EQ(DibStride(24, 5), 16u);
  EXPECT_EQ(DibStride(1, 1), 4u);
  EXPECT_EQ(DibStride(1, 33), 8u);
  EXPECT_EQ(DibStride(4, 9), 8u);
  EXPECT_EQ(DibStride(8, 127), 128u);
  EXPECT_EQ(DibStride(32, 65535), 262140u);
  // 64-bit arithmetic: no int overflow for the largest values.
  EXPECT_EQ(DibStride(32, 0x7FFFFFFF),
            static_cast<std::size_t>((32ull * 0x7FFFFFFF + 31) / 32 * 4));
  EXPECT_EQ(DibStride(24, 0), 0u);
  EXPECT_EQ(DibStride(24, -5), 0u);
}

TEST(DibHeaderTest, SerialisesLittleEndianWithExactWidths) {
  const BitmapInfoHeader header{.biSize = 40,
                                .biWidth = -2,
                                .biHeight = 0x01020304,
                                .biPlanes = 1,
                                .biBitCount = 24,
                                .biCompression = 3,
                                .biSizeImage = 0xA0B0C0D0,
                                .biXPelsPerMeter = 2835,
                                .biYPelsPerMeter = -1,
                                .biClrUsed = 7,
                                .biClrImportant = 9};
  std::uint8_t bytes[40];
  header.Serialize(bytes);
  EXPECT_EQ(bytes[0], 40);
  EXPECT_EQ(bytes[4], 0xFE);
  EXPECT_EQ(bytes[7], 0xFF);
  EXPECT_EQ(bytes[8], 0x04);
  EXPECT_EQ(bytes[11], 0x01);
  EXPECT_EQ(bytes[14], 24);
  EXPECT_EQ(bytes[20], 0xD0);
  EXPECT_EQ(bytes[23], 0xA0);
  EXPECT_EQ(bytes[32], 7);
  EXPECT_EQ(bytes[36], 9);
  EXPECT_EQ(BitmapInfoHeader::Parse(bytes), header);
}

TEST(DibCreateTest, MakesOneZeroFilledBlockWithHeaderTableAndRows) {
  std::optional<Dib> dib = Dib::Create(3, 2, 8, 5);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->header(), (BitmapInfoHeader{.biSize = 40,
                                             .biWidth = 3,
                                             .biHeight = 2,
                                             .biPlanes = 1,
                                             .biBitCount = 8,
                                             .biSizeImage = 8,
                                             .biClrUsed = 5}));
  EXPECT_EQ(dib->block().size(), 40u + 5 * 4 + 8);
  EXPECT_EQ(dib->color_table() - dib->block().data(), 40);
  EXPECT_EQ(dib->pixels() - dib->block().data(), 60);
  EXPECT_EQ(dib->row(1) - dib->pixels(), 4);
  for (std::size_t i = 40; i < dib->block().size(); ++i) EXPECT_EQ(dib->block()[i], 0);
  EXPECT_TRUE(dib->valid());
}

TEST(DibCreateTest, RowsLeftForADecoderStillHaveZeroPaddingAndALargeBlockIsWhole) {
  // 5 pixels of 24 bits: 15 bytes of pixels and one byte of padding a row.
  const Dib small = *Dib::Create(5, 3, 24, 0, DibRows::kOverwritten);
  EXPECT_TRUE(small.valid());
  EXPECT_EQ(small.stride(), 16u);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(small.row(y)[15], 0) << y;
  // Big enough for the huge-page allocation; every row can be written.
  Dib large = *Dib::Create(3000, 2000, 24, 0, DibRows::kOverwritten);
  ASSERT_TRUE(large.valid());
  for (int y = 0; y < large.height(); ++y) std::memset(large.row(y), y & 0xFF, large.stride());
  EXPECT_EQ(large.row(1999)[8999], 1999 & 0xFF);
  EXPECT_EQ(large.header().biSizeImage, 9000u * 2000u);
}

TEST(PictureMemoryTest, TheBlockOfALargePictureIsKeptForTheNextOfItsSizeOnly) {
  ReleaseSparePictureMemory();
  constexpr std::size_t kLarge = 24 << 20;
  void* first = AllocatePictureMemory(kLarge);
  ReleasePictureMemory(first, kLarge);
  void* second = AllocatePictureMemory(kLarge - 100);  // the same huge pages
  EXPECT_EQ(second, first);
  void* beside = AllocatePictureMemory(kLarge);  // one in use: fresh memory
  EXPECT_NE(beside, second);
  ReleasePictureMemory(second, kLarge);
  ReleasePictureMemory(beside, kLarge);  // one spare only: this one goes back
  void* other_size = AllocatePictureMemory(2 * kLarge);
  EXPECT_NE(other_size, second);
  ReleasePictureMemory(other_size, 2 * kLarge);
  ReleaseSparePictureMemory();
}

TEST(PictureMemoryTest, TheKeptBlockGoesBackOnlyOnceKeptForTheTimeAsked) {
  using std::chrono::seconds;
  ReleaseSparePictureMemory();
  constexpr std::size_t kLarge = 24 << 20;
  const auto before = std::chrono::steady_clock::now();
  ReleasePictureMemory(AllocatePictureMemory(kLarge), kLarge);
  const auto after = std::chrono::steady_clock::now();
  EXPECT_EQ(SparePictureBytes(), kLarge);
  ReleaseSparePictureMemory(seconds(30), before + seconds(29));
  EXPECT_EQ(SparePictureBytes(), kLarge);
  ReleaseSparePictureMemory(seconds(30), after + seconds(30));
  EXPECT_EQ(SparePictureBytes(), 0u);
}

TEST(DibCreateTest, ARowsBlockKeptFromAnEarlierPictureIsZeroedAgain) {
  ReleaseSparePictureMemory();
  {
    Dib earlier = *Dib::Create(3000, 2000, 24);
    std::memset(earlier.pixels(), 0xAB, earlier.stride() * 2000);
  }
  const Dib next = *Dib::Create(3000, 2000, 24);
  EXPECT_EQ(next.row(0)[0], 0);
  EXPECT_EQ(next.row(1999)[8999], 0);
  const Dib decoded = *Dib::Create(2999, 2000, 24, 0, DibRows::kOverwritten);
  EXPECT_EQ(decoded.row(7)[decoded.stride() - 1], 0);  // the padding
  ReleaseSparePictureMemory();
}

TEST(DibCreateTest, RefusesSizesOutsideThePixelLimit) {
  EXPECT_FALSE(Dib::Create(0, 10, 24));
  EXPECT_FALSE(Dib::Create(10, -1, 24));
  EXPECT_FALSE(Dib::Create(kMaxDimension + 1, 1, 24));
  EXPECT_FALSE(Dib::Create(1, kMaxDimension + 1, 24));
  EXPECT_FALSE(Dib::Create(20000, 20000, 24));  // 400 megapixels
  EXPECT_FALSE(Dib::Create(10, 10, 7));
  EXPECT_FALSE(Dib::Create(10, 10, 8, 257));
  EXPECT_TRUE(DibSizeAllowed(8660, 8660));  // 75 megapixels: a 50-megapixel camera fits
  EXPECT_FALSE(DibSizeAllowed(11000, 11000));
  EXPECT_TRUE(Dib::Create(kMaxDimension, 1, 24));
}

TEST(DibCreateTest, HeaderThatPromisesMoreThanTheBlockIsNotValid) {
  Dib dib = *Dib::Create(4, 4, 24);
  BitmapInfoHeader h = dib.header();
  h.biWidth = 400;
  dib.SetHeader(h);
  EXPECT_FALSE(dib.valid());
  h.biWidth = 4;
  h.biHeight = -4;
  dib.SetHeader(h);
  EXPECT_FALSE(dib.valid());
}

TEST(ExpandDibTo24Test, OneBitUsesTheMostSignificantBitForTheLeftmostPixel) {
  Dib dib = *Dib::Create(8, 1, 1, 2);
  const std::uint8_t table[8] = {10, 20, 30, 0, 200, 210, 220, 0};
  std::memcpy(dib.color_table(), table, sizeof table);
  dib.row(0)[0] = 0x80;
  std::optional<Dib> out = ExpandDibTo24(dib);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->bit_count(), 24);
  EXPECT_EQ(out->colour_table_entries(), 0u);
  EXPECT_EQ(out->header().biSizeImage, 24u);
  const std::uint8_t* row = out->row(0);
  EXPECT_EQ(row[0], 200);
  EXPECT_EQ(row[1], 210);
  EXPECT_EQ(row[2], 220);
  for (int x = 1; x < 8; ++x) {
    EXPECT_EQ(row[3 * x], 10) << x;
    EXPECT_EQ(row[3 * x + 1], 20) << x;
    EXPECT_EQ(row[3 * x + 2], 30) << x;
  }
}

TEST(ExpandDibTo24Test, FourAndEightBitIndicesAndRowsKeepTheirPlace) {
  Dib four = *Dib::Create(3, 2, 4, 16);
  for (int i = 0; i < 16; ++i) four.color_table()[4 * i] = static_cast<std::uint8_t>(i * 10);
  four.row(0)[0] = 0x12;
  four.row(0)[1] = 0x30;
  four.row(1)[0] = 0xF0;
  std::optional<Dib> out = ExpandDibTo24(four);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->row(0)[0], 10);
  EXPECT_EQ(out->row(0)[3], 20);
  EXPECT_EQ(out->row(0)[6], 30);
  EXPECT_EQ(out->row(1)[0], 150);
  EXPECT_EQ(out->row(1)[3], 0);

  Dib eight = *Dib::Create(2, 1, 8, 3);
  eight.color_table()[2 * 4 + 2] = 99;  // red of entry 2
  eight.row(0)[0] = 2;
  eight.row(0)[1] = 200;  // past the table
  eight.color_table()[0] = 77;
  out = ExpandDibTo24(eight);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->row(0)[2], 99);
  EXPECT_EQ(out->row(0)[3], 0);  // black, not entry 0 and not memory behind the table
  EXPECT_EQ(out->row(0)[4], 0);
  EXPECT_EQ(out->row(0)[5], 0);
}

TEST(ExpandDibTo24Test, CopiesTwentyFourBitRowsAndRefusesInvalidBlocks) {
  Dib dib = *Dib::Create(5, 3, 24);
  for (std::size_t i = 0; i < 5 * 3; ++i)
    dib.row(static_cast<int>(i / 5))[3 * (i % 5)] = static_cast<std::uint8_t>(i + 1);
  std::optional<Dib> out = ExpandDibTo24(dib);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->block(), dib.block());

  BitmapInfoHeader h = dib.header();
  h.biHeight = 300;
  dib.SetHeader(h);
  EXPECT_FALSE(ExpandDibTo24(dib));
  EXPECT_FALSE(ExpandDibTo24(*Dib::Create(4, 4, 16)));
}

TEST(ResampleDibNearestTest, NarrowingBy641To640DropsOnlyTheLastColumn) {
  const int old_w = 641;
  const int h = 3;
  const std::size_t stride = DibStride(24, old_w);
  std::vector<std::uint8_t> rows(stride * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < old_w; ++x) {
      std::uint8_t* p = rows.data() + stride * y + 3 * x;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(x >> 8);
      p[2] = static_cast<std::uint8_t>(y);
    }
  }
  ResampleDibNearest(rows.data(), old_w, h, 640, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 640; ++x) {
      const std::uint8_t* p = rows.data() + (640 * 3) * y + 3 * x;
      const int source = x * 641 / 640;  // floor(x * 641 / 640)
      ASSERT_EQ(p[0] | (p[1] << 8), source) << x;
      ASSERT_EQ(p[2], y);
    }
  }
  const std::uint8_t* last = rows.data() + 640 * 3 * 0 + 3 * 639;
  EXPECT_EQ(last[0] | (last[1] << 8), 639);
}

TEST(ResampleDibNearestTest, TakesRowsByTruncatedRatioAndNeverGrowsPastTheSource) {
  const int w = 4;
  std::vector<std::uint8_t> rows(DibStride(24, w) * 5);
  for (int y = 0; y < 5; ++y) rows[DibStride(24, w) * y] = static_cast<std::uint8_t>(y);
  ResampleDibNearest(rows.data(), w, 5, w, 2);  // rows floor(0 * 2.5), floor(1 * 2.5)
  EXPECT_EQ(rows[0], 0);
  EXPECT_EQ(rows[w * 3], 2);

  std::vector<std::uint8_t> small(DibStride(24, 2) * 2, 7);
  const std::vector<std::uint8_t> before = small;
  ResampleDibNearest(small.data(), 2, 2, 4, 4);  // would not fit: left alone
  EXPECT_EQ(small, before);
}

TEST(ResampleDibNearestTest, NarrowerButTallerStillReadsTheUntouchedSource) {
  // 8x2 into 4x4: the same 48 bytes, rows doubled, every second column kept.
  std::vector<std::uint8_t> rows(DibStride(24, 8) * 2);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i / 3);
  ResampleDibNearest(rows.data(), 8, 2, 4, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(rows[12 * y + 3 * x], (y / 2) * 8 + 2 * x) << x << y;
  }
}

}  // namespace
}  // namespace velmarin
