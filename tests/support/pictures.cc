#include "support/pictures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "image/jpeg_codec.h"
#include "image/jpeg_files.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

std::string BmpHeaders(int width, int height, int bit_count, std::uint32_t palette_entries,
                       std::uint32_t image_size) {
  const std::uint32_t offset = 14 + 40 + palette_entries * 4;
  std::string out = "BM";
  PutLe(out, offset + image_size, 4);
  PutLe(out, 0, 4);
  PutLe(out, offset, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<std::uint32_t>(width), 4);
  PutLe(out, static_cast<std::uint32_t>(height), 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<std::uint32_t>(bit_count), 2);
  PutLe(out, 0, 4);  // uncompressed
  PutLe(out, image_size, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, palette_entries, 4);
  PutLe(out, 0, 4);
  return out;
}

// A 24-bit BMP file of `dib` (40-byte header, no colour table).
std::string Bmp24Bytes(const Dib& dib) {
  const auto size = static_cast<std::uint32_t>(dib.stride() * dib.height());
  std::string bytes = BmpHeaders(dib.width(), dib.height(), 24, 0, size);
  bytes.append(reinterpret_cast<const char*>(dib.pixels()), size);
  return bytes;
}

}  // namespace

Dib PaintPicture(int width, int height, const std::function<Rgb(int x, int y)>& paint) {
  Dib dib = Dib::Create(width, height, 24).value();
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = dib.row(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const Rgb c = paint(x, y);
      row[3 * x] = static_cast<std::uint8_t>(c.b);
      row[3 * x + 1] = static_cast<std::uint8_t>(c.g);
      row[3 * x + 2] = static_cast<std::uint8_t>(c.r);
    }
  }
  return dib;
}

Rgb PixelOf(const Dib& dib, int x, int y) {
  const std::uint8_t* p = dib.row(dib.height() - 1 - y) + 3 * x;
  return Rgb{p[2], p[1], p[0]};
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

void WriteJpeg(const std::filesystem::path& path, const Dib& dib, int quality) {
  ASSERT_TRUE(WriteJpegFileAtomically(path, dib, quality, false));
}

void WriteBmp24(const std::filesystem::path& path, const Dib& dib) {
  WriteFileBytes(path, Bmp24Bytes(dib));
}

void WriteBmp8(const std::filesystem::path& path, int width, int height, const Rgb (&palette)[4]) {
  const std::size_t stride = (static_cast<std::size_t>(width) + 3) / 4 * 4;
  std::string bytes = BmpHeaders(width, height, 8, 4, static_cast<std::uint32_t>(stride * height));
  for (const Rgb& c : palette) {
    bytes.push_back(static_cast<char>(c.b));
    bytes.push_back(static_cast<char>(c.g));
    bytes.push_back(static_cast<char>(c.r));
    bytes.push_back(0);
  }
  for (int row = 0; row < height; ++row) {
    const int y = height - 1 - row;  // bottom row first
    std::string line(stride, '\0');
    for (int x = 0; x < width; ++x) line[x] = static_cast<char>((x + y) % 4);
    bytes += line;
  }
  WriteFileBytes(path, bytes);
}

Dib ReadJpeg(const std::filesystem::path& path) {
  std::optional<Dib> dib = DecodeJpegFile(path);
  EXPECT_TRUE(dib.has_value()) << path;
  return dib ? std::move(*dib) : Dib::Create(1, 1, 24).value();
}

Settings DefaultTestSettings() { return DefaultSettings("/nowhere"); }

std::string EncodeTestJpeg(int width, int height, const PixelSource& pixels,
                           const TestJpegFormat& format) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = format.components;
  cinfo.in_color_space = static_cast<J_COLOR_SPACE>(format.in_colour_space);
  jpeg_set_defaults(&cinfo);
  if (format.jpeg_colour_space >= 0) {
    jpeg_set_colorspace(&cinfo, static_cast<J_COLOR_SPACE>(format.jpeg_colour_space));
  }
  if (format.adobe_marker >= 0) cinfo.write_Adobe_marker = format.adobe_marker != 0;
  jpeg_set_quality(&cinfo, format.quality, TRUE);
  cinfo.arith_code = format.arithmetic ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * format.components);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < width; ++x) {
      pixels(x, static_cast<int>(cinfo.next_scanline), row.data() + x * format.components);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string bytes(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

std::optional<Dib> DecodeJpegBytes(const std::string& bytes) {
  std::FILE* file = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  if (file == nullptr) return std::nullopt;
  std::optional<Dib> dib = ReadJpegToDib(file);
  std::fclose(file);
  return dib;
}

std::optional<Dib> DecodeJpegFile(const std::filesystem::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::optional<Dib> dib = ReadJpegToDib(file);
  std::fclose(file);
  return dib;
}

Dib MakeGradientDib(int width, int height) {
  return PaintPicture(width, height, [&](int x, int y) {
    return Rgb{x < width / 2 && y < height / 2 ? 230 : 20, y * 255 / height, x * 255 / width};
  });
}

Dib PatternDib(int width, int height, int seed) {
  return PaintPicture(width, height, [&](int x, int y) {
    return Rgb{(x + y) * 2 + seed * 70, y * 4 + seed * 30, x * 4 + seed * 50};
  });
}

std::string JpegBytes(int width, int height, int seed) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&buffer, &size);
  const bool written = WriteDibToJpeg(stream, PatternDib(width, height, seed), 90, false);
  std::fclose(stream);
  std::string bytes = written ? std::string(buffer, size) : std::string();
  std::free(buffer);
  return bytes;
}

std::string BmpBytes(int width, int height, int seed) {
  return Bmp24Bytes(PatternDib(width, height, seed));
}

}  // namespace velmarin::test
