#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmarin {

// Largest picture any reader accepts, checked against header values before anything is
// allocated, so a forged header cannot make us reserve gigabytes. 120 megapixels leaves
// room for 50-megapixel cameras and stays below 400 MB as a 24-bit bitmap.
inline constexpr std::int64_t kMaxPixels = 120'000'000;
inline constexpr int kMaxDimension = 65535;

// The Windows BITMAPINFOHEADER with its exact field widths.
struct BitmapInfoHeader {
  static constexpr std::size_t kSize = 40;

  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 0;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;

  // Little-endian serialisation; `bytes` holds at least kSize bytes.
  static BitmapInfoHeader Parse(const std::uint8_t* bytes);
  void Serialize(std::uint8_t* bytes) const;
};

// Bytes per row: ((bit_count * width + 31) / 32) * 4. Zero for negative input; the
// arithmetic is 64-bit, so no int overflow happens for any int arguments.
std::size_t DibStride(int bit_count, int width);

// True when width and height (absolute) are within kMaxDimension and kMaxPixels.
bool DibSizeAllowed(std::int64_t width, std::int64_t height);

// A packed device-independent bitmap in one contiguous block: the 40-byte header, an
// optional colour table (biClrUsed entries of blue, green, red, reserved) and the pixel
// rows, bottom row first, each padded to the stride with zero bytes.
class Dib {
 public:
  // A zero-filled bitmap with its header filled (biSize 40, biPlanes 1, biSizeImage =
  // stride x height, biClrUsed = colour_table_entries). nullopt when the size is not
  // positive, exceeds the pixel limit, or bit_count is not 1, 4, 8, 16, 24 or 32.
  static std::optional<Dib> Create(int width, int height, int bit_count,
                                   std::uint32_t colour_table_entries = 0);

  BitmapInfoHeader header() const;
  // True when the header describes a bottom-up bitmap of a supported bit count within the
  // pixel limit and the block holds all of its colour table and rows. A header changed
  // through SetHeader may break this; every consumer checks it before touching rows.
  bool valid() const;
  // Rewrites the 40 header bytes only; the block keeps its size. Callers change fields
  // that do not move the rows (for example biWidth after a resample into fewer bytes).
  void SetHeader(const BitmapInfoHeader& header);

  int width() const;
  int height() const;  // number of rows (absolute value of biHeight)
  int bit_count() const;
  std::size_t stride() const;
  std::uint32_t colour_table_entries() const;

  std::uint8_t* color_table();
  const std::uint8_t* color_table() const;
  std::uint8_t* pixels();
  const std::uint8_t* pixels() const;
  // Row i in memory; row 0 is the bottom row of the picture.
  std::uint8_t* row(int i);
  const std::uint8_t* row(int i) const;

  const std::vector<std::uint8_t>& block() const { return block_; }

 private:
  explicit Dib(std::vector<std::uint8_t> block);

  std::vector<std::uint8_t> block_;
};

}  // namespace velmarin
