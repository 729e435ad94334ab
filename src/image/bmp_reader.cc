#include "image/bmp_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/little_endian.h"

namespace velmarin {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;      // OS/2 1.x
constexpr std::size_t kOs2ShortHeaderSize = 16;  // OS/2 2.x, shortened
constexpr std::size_t kOs2HeaderSize = 64;       // OS/2 2.x, full
constexpr std::size_t kMaxHeaderSize = 124;      // BITMAPV5HEADER

// Reads from the stream while keeping count of the bytes consumed since the file start,
// so offsets from the file header can be checked against what was already read.
class StreamReader {
 public:
  explicit StreamReader(std::FILE* file) : file_(file) {}

  // Bytes from the file start to the end of the stream; false when it cannot be told.
  bool MeasureLength() {
    const long start = std::ftell(file_);
    if (start < 0 || std::fseek(file_, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(file_);
    if (end < start || std::fseek(file_, start, SEEK_SET) != 0) return false;
    length_ = static_cast<std::uint64_t>(end - start);
    return true;
  }

  bool Read(void* buffer, std::size_t size) {
    if (std::fread(buffer, 1, size, file_) != size) return false;
    position_ += size;
    return true;
  }

  bool SkipTo(std::uint64_t offset) {
    if (offset < position_ || offset > length_) return false;
    std::array<std::uint8_t, 256> scratch;
    while (position_ < offset) {
      const std::size_t chunk =
          static_cast<std::size_t>(std::min<std::uint64_t>(scratch.size(), offset - position_));
      if (!Read(scratch.data(), chunk)) return false;
    }
    return true;
  }

  std::uint64_t position() const { return position_; }
  std::uint64_t length() const { return length_; }

 private:
  std::FILE* file_;
  std::uint64_t position_ = 0;
  std::uint64_t length_ = 0;
};

struct BmpLayout {
  std::uint32_t pixel_offset = 0;
  std::uint32_t header_size = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // signed: negative means top-down rows
  int bits = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t image_size = 0;
  std::uint32_t colours_used = 0;
  std::size_t palette_entry_size = 4;
  std::array<std::uint32_t, 3> masks{};  // red, green, blue
  bool masks_in_header = false;

  bool rle() const { return compression == kBiRle8 || compression == kBiRle4; }
};

bool HeaderSizeKnown(std::uint32_t size) {
  constexpr std::array<std::uint32_t, 8> kKnown = {
      kCoreHeaderSize, kOs2ShortHeaderSize, BitmapInfoHeader::kSize, 52, 56, kOs2HeaderSize, 108,
      kMaxHeaderSize};
  return std::ranges::find(kKnown, size) != kKnown.end();
}

bool ReadHeaders(StreamReader& in, BmpLayout& layout) {
  std::uint8_t file_header[kFileHeaderSize];
  if (!in.Read(file_header, sizeof file_header)) return false;
  if (file_header[0] != 'B' || file_header[1] != 'M') return false;
  // The file size field is not needed: the stream's own length bounds every read.
  layout.pixel_offset = Get32(file_header + 10);

  std::uint8_t info[kMaxHeaderSize] = {};
  if (!in.Read(info, 4)) return false;
  layout.header_size = Get32(info);
  // Windows' reader takes a header size of 0 for a BITMAPINFOHEADER.
  if (layout.header_size == 0) layout.header_size = BitmapInfoHeader::kSize;
  if (!HeaderSizeKnown(layout.header_size)) return false;
  if (!in.Read(info + 4, layout.header_size - 4)) return false;

  if (layout.header_size == kCoreHeaderSize) {
    layout.width = Get16(info + 4);
    layout.height = Get16(info + 6);
    layout.bits = Get16(info + 10);
    layout.palette_entry_size = 3;
    return true;
  }
  layout.width = static_cast<std::int32_t>(Get32(info + 4));
  layout.height = static_cast<std::int32_t>(Get32(info + 8));
  layout.bits = Get16(info + 14);
  if (layout.header_size == kOs2ShortHeaderSize) return true;
  layout.compression = Get32(info + 16);
  layout.image_size = Get32(info + 20);
  layout.colours_used = Get32(info + 32);
  if (layout.header_size >= 52 && layout.header_size != kOs2HeaderSize) {
    layout.masks = {Get32(info + 40), Get32(info + 44), Get32(info + 48)};
    layout.masks_in_header = true;
  }
  return true;
}

bool CompressionFits(const BmpLayout& layout) {
  switch (layout.compression) {
    case kBiRgb:
      return true;
    case kBiRle8:
      return layout.bits == 8 && layout.height > 0;
    case kBiRle4:
      return layout.bits == 4 && layout.height > 0;
    case kBiBitfields:
    case kBiAlphaBitfields:
      // OS/2 2.x uses these numbers for other (unsupported) codings.
      return (layout.bits == 16 || layout.bits == 32) && layout.header_size != kOs2HeaderSize;
    default:
      return false;
  }
}

// Only what the picture needs is checked: the planes, the densities and the file size field
// play no part in reading it, so a wrong value there refuses nothing.
bool HeaderPlausible(const BmpLayout& layout) {
  if (layout.width <= 0 || layout.height == 0) return false;
  if (!DibSizeAllowed(layout.width, layout.height)) return false;
  constexpr std::array kBitCounts = {1, 2, 4, 8, 16, 24, 32};
  return std::ranges::find(kBitCounts, layout.bits) != kBitCounts.end() && CompressionFits(layout);
}

bool ReadMasks(StreamReader& in, BmpLayout& layout) {
  if (layout.compression != kBiBitfields && layout.compression != kBiAlphaBitfields) {
    if (layout.bits == 16) layout.masks = {0x7C00, 0x03E0, 0x001F};
    if (layout.bits == 32) layout.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    return true;
  }
  if (layout.masks_in_header) return true;
  std::uint8_t bytes[16];
  const std::size_t size = layout.compression == kBiAlphaBitfields ? 16 : 12;
  if (!in.Read(bytes, size)) return false;
  layout.masks = {Get32(bytes), Get32(bytes + 4), Get32(bytes + 8)};
  return true;
}

// Reads the colour table into `dib` (indexed pictures) or skips it (others), and gives the
// number of entries the file holds. Entries past what the Dib can hold are skipped together
// with any gap up to the pixel offset.
bool ReadPalette(StreamReader& in, const BmpLayout& layout, Dib* dib, std::uint64_t* held) {
  const std::uint64_t space =
      layout.pixel_offset >= in.position() ? layout.pixel_offset - in.position() : 0;
  const std::uint64_t most = std::uint64_t{1} << std::min(layout.bits, 8);
  const std::uint64_t room = space / layout.palette_entry_size;
  std::uint64_t entries = layout.colours_used;
  if (layout.bits > 8) {
    entries = 0;  // a table beside true colour is a hint for displays; the pixels need none
  } else if (layout.header_size <= kOs2ShortHeaderSize || entries > most) {
    // No entry count, or one no table of this bit count can have: the table fills the room
    // up to the pixels. An index past what it holds is refused below.
    entries = std::min(most, room);
  } else if (entries == 0) {
    entries = most;
  }
  if (entries * layout.palette_entry_size > space) return false;
  *held = entries;
  if (dib == nullptr) return true;

  const std::uint32_t kept = dib->colour_table_entries();
  std::uint8_t* table = dib->color_table();
  for (std::uint32_t i = 0; i < kept && i < entries; ++i) {
    if (!in.Read(table + 4 * i, layout.palette_entry_size)) return false;
    table[4 * i + 3] = 0;  // the reserved byte
  }
  return true;
}

// True when every pixel of an indexed Dib names an entry the file's colour table holds. A
// pixel past the table has no colour: the file is damaged, and no guessed colour is passed on.
bool IndicesWithinTable(const Dib& dib, std::uint64_t entries) {
  const int bits = dib.bit_count();
  if (bits > 8 || entries >= (std::uint64_t{1} << bits)) return true;
  for (int y = 0; y < dib.height(); ++y) {
    const std::uint8_t* row = dib.row(y);
    for (int x = 0; x < dib.width(); ++x) {
      if (IndexAt(row, x, bits) >= entries) return false;
    }
  }
  return true;
}

// The row of the picture (0 = top) that file row `k` holds, as a Dib row index.
int DibRowForFileRow(const BmpLayout& layout, int k, int height) {
  return layout.height < 0 ? height - 1 - k : k;
}

bool ReadRawRows(StreamReader& in, const BmpLayout& layout, Dib& dib) {
  const int height = dib.height();
  const std::size_t stride = dib.stride();
  const std::size_t used = (static_cast<std::size_t>(dib.width()) * dib.bit_count() + 7) / 8;
  for (int k = 0; k < height; ++k) {
    std::uint8_t* row = dib.row(DibRowForFileRow(layout, k, height));
    if (!in.Read(row, stride)) return false;
    std::memset(row + used, 0, stride - used);
  }
  return true;
}

// 2-bit pictures are widened to 8-bit indices, which the rest of the program handles.
bool ReadTwoBitRows(StreamReader& in, const BmpLayout& layout, Dib& dib) {
  const int width = dib.width();
  const int height = dib.height();
  std::vector<std::uint8_t> source(DibStride(2, width));
  for (int k = 0; k < height; ++k) {
    if (!in.Read(source.data(), source.size())) return false;
    std::uint8_t* row = dib.row(DibRowForFileRow(layout, k, height));
    for (int x = 0; x < width; ++x)
      row[x] = static_cast<std::uint8_t>(IndexAt(source.data(), x, 2));
  }
  return true;
}

// Scales one masked channel of a packed pixel to 0..255, rounding to nearest.
class ChannelScale {
 public:
  explicit ChannelScale(std::uint32_t mask)
      : mask_(mask),
        shift_(mask == 0 ? 0 : std::countr_zero(mask)),
        max_(mask == 0 ? 0 : mask >> shift_) {}

  std::uint8_t operator()(std::uint32_t pixel) const {
    if (max_ == 0) return 0;
    const std::uint64_t value = (pixel & mask_) >> shift_;
    return static_cast<std::uint8_t>((value * 255 + max_ / 2) / max_);
  }

 private:
  std::uint32_t mask_;
  int shift_;
  std::uint64_t max_;
};

bool ReadPackedRows(StreamReader& in, const BmpLayout& layout, Dib& dib) {
  const ChannelScale red(layout.masks[0]);
  const ChannelScale green(layout.masks[1]);
  const ChannelScale blue(layout.masks[2]);
  const int width = dib.width();
  const int height = dib.height();
  const std::size_t bytes_per_pixel = static_cast<std::size_t>(layout.bits) / 8;
  std::vector<std::uint8_t> source(DibStride(layout.bits, width));
  for (int k = 0; k < height; ++k) {
    if (!in.Read(source.data(), source.size())) return false;
    std::uint8_t* out = dib.row(DibRowForFileRow(layout, k, height));
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = source.data() + static_cast<std::size_t>(x) * bytes_per_pixel;
      const std::uint32_t pixel = bytes_per_pixel == 2 ? Get16(p) : Get32(p);
      out[3 * x] = blue(pixel);
      out[3 * x + 1] = green(pixel);
      out[3 * x + 2] = red(pixel);
    }
  }
  return true;
}

// Decodes RLE8 or RLE4 data into an 8-bit indexed Dib. Pixels the data skips keep index 0.
// Many writers encode the padding of each row too, so a run may reach into it when the
// width is not a multiple of four; such pixels are dropped, as common readers do. A run or
// move past the padded row, or out of the picture, means damaged data and fails the file.
bool DecodeRle(const std::vector<std::uint8_t>& data, bool four_bit, Dib& dib) {
  const std::int64_t width = dib.width();
  const std::int64_t height = dib.height();
  const std::int64_t padded_width = four_bit
                                        ? static_cast<std::int64_t>(DibStride(4, dib.width())) * 2
                                        : static_cast<std::int64_t>(DibStride(8, dib.width()));
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::size_t p = 0;
  std::uint8_t* const pixels = dib.pixels();
  const std::size_t stride = dib.stride();
  // Pixel `i` of a run or literal: in RLE4 the nibbles of `byte` take turns, high one first.
  auto put = [&](std::uint8_t byte, int i) {
    const std::uint8_t index = four_bit ? (i % 2 == 0 ? byte >> 4 : byte & 0x0F) : byte;
    if (x < width)
      pixels[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)] = index;
    ++x;
  };
  while (p + 2 <= data.size()) {
    const std::uint8_t count = data[p];
    const std::uint8_t value = data[p + 1];
    p += 2;
    if (count > 0) {
      if (y >= height || x + count > padded_width) return false;
      for (int i = 0; i < count; ++i) put(value, i);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        if (++y > height) return false;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // move right and up
        if (p + 2 > data.size()) return false;
        x += data[p];
        y += data[p + 1];
        p += 2;
        if (x > padded_width || y > height) return false;
        break;
      default: {  // literal pixels, padded to an even byte count
        const std::size_t bytes = four_bit ? (value + 1) / 2 : value;
        if (y >= height || x + value > padded_width || p + bytes > data.size()) return false;
        for (int i = 0; i < value; ++i) put(data[p + (four_bit ? i / 2 : i)], i);
        p += bytes + (bytes % 2);
        break;
      }
    }
  }
  // Data that ends without an end-of-bitmap code is accepted when it ends cleanly.
  return p == data.size();
}

bool ReadRleRows(StreamReader& in, const BmpLayout& layout, Dib& dib) {
  std::vector<std::uint8_t> data(layout.image_size);
  if (!in.Read(data.data(), data.size())) return false;
  return DecodeRle(data, layout.compression == kBiRle4, dib);
}

// Checked before anything is allocated: the pixel data the header promises must be there.
bool PixelDataFits(const BmpLayout& layout, const StreamReader& in) {
  if (layout.pixel_offset > in.length()) return false;
  const std::uint64_t available = in.length() - layout.pixel_offset;
  // Compressed data is as long as the image size says; rows of an uncompressed picture are
  // counted from the header, and an image size that claims more than is left is not used.
  if (layout.rle()) return layout.image_size != 0 && layout.image_size <= available;
  const std::uint64_t needed =
      static_cast<std::uint64_t>(DibStride(layout.bits, static_cast<int>(layout.width))) *
      static_cast<std::uint64_t>(std::abs(layout.height));
  return needed <= available;
}

}  // namespace

std::optional<Dib> ReadBmpToDib(std::FILE* file) {
  if (file == nullptr) return std::nullopt;
  StreamReader in(file);
  BmpLayout layout;
  if (!in.MeasureLength() || !ReadHeaders(in, layout) || !HeaderPlausible(layout) ||
      !PixelDataFits(layout, in) || !ReadMasks(in, layout)) {
    return std::nullopt;
  }

  const bool rle = layout.rle();
  const bool indexed = layout.bits <= 8;
  // RLE and 2-bit pictures are held as 8-bit indices; 16/32-bit ones as 24-bit colour.
  const int dib_bits = indexed ? (rle || layout.bits == 2 ? 8 : layout.bits) : 24;
  const std::uint32_t table_entries = indexed ? (1u << layout.bits) : 0;
  const int width = static_cast<int>(layout.width);
  const int height = static_cast<int>(std::abs(layout.height));

  std::optional<Dib> dib = Dib::Create(width, height, dib_bits, table_entries);
  if (!dib) return std::nullopt;
  std::uint64_t palette_entries = 0;
  if (!ReadPalette(in, layout, indexed ? &*dib : nullptr, &palette_entries)) return std::nullopt;
  if (!in.SkipTo(layout.pixel_offset)) return std::nullopt;

  bool rows_read = false;
  if (rle) {
    rows_read = ReadRleRows(in, layout, *dib);
  } else if (layout.bits == 2) {
    rows_read = ReadTwoBitRows(in, layout, *dib);
  } else if (layout.bits == 16 || layout.bits == 32) {
    rows_read = ReadPackedRows(in, layout, *dib);
  } else {
    rows_read = ReadRawRows(in, layout, *dib);
  }
  if (!rows_read || (indexed && !IndicesWithinTable(*dib, palette_entries))) return std::nullopt;
  return dib;
}

}  // namespace velmarin
