#include "image/dib_convert.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velmarin {

std::optional<Dib> ExpandDibTo24(const Dib& dib) {
  if (!dib.valid()) return std::nullopt;
  const int bits = dib.bit_count();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return std::nullopt;
  std::optional<Dib> out = Dib::Create(dib.width(), dib.height(), 24);
  if (!out) return std::nullopt;

  BitmapInfoHeader header = dib.header();
  header.biBitCount = 24;
  header.biClrUsed = 0;
  header.biCompression = 0;
  header.biSizeImage = out->header().biSizeImage;
  header.biHeight = out->header().biHeight;
  out->SetHeader(header);

  const int width = dib.width();
  const int height = dib.height();
  if (bits == 24) {
    std::memcpy(out->pixels(), dib.pixels(), dib.stride() * static_cast<std::size_t>(height));
    return out;
  }
  const std::uint8_t* table = dib.color_table();
  const unsigned entries = dib.colour_table_entries();
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in_row = dib.row(y);
    std::uint8_t* out_row = out->row(y);
    for (int x = 0; x < width; ++x) {
      const unsigned index = IndexAt(in_row, x, bits);
      if (index >= entries) continue;  // not in the table: stays black
      std::memcpy(out_row + 3 * static_cast<std::size_t>(x), table + 4 * index, 3);
    }
  }
  return out;
}

void ResampleDibNearest(std::uint8_t* rows, int old_w, int old_h, int new_w, int new_h) {
  if (rows == nullptr || old_w <= 0 || old_h <= 0 || new_w <= 0 || new_h <= 0) return;
  const std::size_t old_stride = DibStride(24, old_w);
  const std::size_t new_row = static_cast<std::size_t>(new_w) * 3;
  // The result is written over the source rows, so it must fit into them.
  if (new_row * static_cast<std::size_t>(new_h) > old_stride * static_cast<std::size_t>(old_h)) {
    return;
  }
  const double x_ratio = static_cast<double>(old_w) / new_w;
  const double y_ratio = static_cast<double>(old_h) / new_h;
  std::vector<int> source_x(static_cast<std::size_t>(new_w));
  for (int x = 0; x < new_w; ++x) source_x[x] = std::min(static_cast<int>(x * x_ratio), old_w - 1);

  const auto resample = [&](std::uint8_t* target) {
    for (int y = 0; y < new_h; ++y) {
      const int sy = std::min(static_cast<int>(y * y_ratio), old_h - 1);
      const std::uint8_t* in = rows + old_stride * static_cast<std::size_t>(sy);
      std::uint8_t* out = target + new_row * static_cast<std::size_t>(y);
      for (int x = 0; x < new_w; ++x) {
        std::memmove(out + 3 * static_cast<std::size_t>(x),
                     in + 3 * static_cast<std::size_t>(source_x[x]), 3);
      }
    }
  };
  // Shrinking in both directions reads every pixel at or behind the place it is written to,
  // and ahead of everything written before it: the rows can be rewritten in place. Otherwise
  // a scratch copy keeps the source intact until the end.
  if (new_w <= old_w && new_h <= old_h) {
    resample(rows);
    return;
  }
  std::vector<std::uint8_t> scratch(new_row * static_cast<std::size_t>(new_h));
  resample(scratch.data());
  std::memcpy(rows, scratch.data(), scratch.size());
}

}  // namespace velmarin
