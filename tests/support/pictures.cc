#include "support/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "base/little_endian.h"
#include "base/unique_fd.h"
#include "image/bmp_reader.h"
#include "image/jpeg_files.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

// A BMP file of `dib`: the 14-byte file header, then the Dib's block as it is (header, colour
// table, bottom-up rows).
std::string BmpFileOf(const Dib& dib) {
  const std::size_t offset = 14 + BitmapInfoHeader::kSize + dib.colour_table_entries() * 4;
  std::uint8_t file_header[14] = {'B', 'M'};
  Put32(file_header + 2, static_cast<std::uint32_t>(14 + dib.block().size()));
  Put32(file_header + 10, static_cast<std::uint32_t>(offset));
  std::string bytes(reinterpret_cast<const char*>(file_header), sizeof file_header);
  return bytes.append(reinterpret_cast<const char*>(dib.block().data()), dib.block().size());
}

// A read-only stream over `bytes`; none for an empty string (fmemopen refuses it), which the
// readers refuse like any other stream they cannot read.
UniqueFile MemoryStream(const std::string& bytes) {
  return UniqueFile(fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb"));
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
  // A picture that failed to decode reaches here as a stand-in: fail, never read past it.
  if (x < 0 || y < 0 || x >= dib.width() || y >= dib.height()) {
    ADD_FAILURE() << "pixel " << x << "," << y << " outside " << dib.width() << "x" << dib.height();
    return Rgb{};
  }
  const std::uint8_t* p = dib.row(dib.height() - 1 - y) + 3 * x;
  return Rgb{p[2], p[1], p[0]};
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

Difference Compare(const Dib& a, const Dib& b) {
  Difference d;
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const Rgb p = PixelOf(a, x, y);
      const Rgb q = PixelOf(b, x, y);
      for (const int e : {std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)}) {
        sum += e;
        d.max = std::max(d.max, e);
      }
    }
  }
  d.mean = sum / (3.0 * a.width() * a.height());
  return d;
}

void WriteJpeg(const std::filesystem::path& path, const Dib& dib, int quality) {
  ASSERT_TRUE(WriteJpegFileAtomically(path, dib, quality, false).ok());
}

void WriteBmp24(const std::filesystem::path& path, const Dib& dib) {
  WriteFileBytes(path, BmpFileOf(dib));
}

void WriteBmp8(const std::filesystem::path& path, int width, int height, const Rgb (&palette)[4]) {
  Dib dib = Dib::Create(width, height, 8, 4).value();
  for (int i = 0; i < 4; ++i) {
    dib.color_table()[4 * i] = static_cast<std::uint8_t>(palette[i].b);
    dib.color_table()[4 * i + 1] = static_cast<std::uint8_t>(palette[i].g);
    dib.color_table()[4 * i + 2] = static_cast<std::uint8_t>(palette[i].r);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      dib.row(height - 1 - y)[x] = static_cast<std::uint8_t>((x + y) % 4);
  }
  WriteFileBytes(path, BmpFileOf(dib));
}

Dib ReadJpeg(const std::filesystem::path& path) {
  std::optional<Dib> dib = DecodeJpegFile(path);
  EXPECT_TRUE(dib.has_value()) << path;
  return dib ? std::move(*dib) : Dib::Create(1, 1, 24).value();
}

Settings DefaultTestSettings() { return DefaultSettings(Cp932Text("/nowhere")); }

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
  cinfo.restart_in_rows = format.restart_rows;
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

std::optional<Dib> DecodeJpegBytes(const std::string& bytes, JpegWarnings warnings,
                                   std::string* messages) {
  return ReadJpegToDib(MemoryStream(bytes).get(), warnings, messages);
}

std::optional<Dib> DecodeBmpBytes(const std::string& bytes) {
  return ReadBmpToDib(MemoryStream(bytes).get());
}

std::optional<Dib> DecodeJpegFile(const std::filesystem::path& path) {
  return ReadJpegToDib(UniqueFile(std::fopen(path.c_str(), "rb")).get());
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

std::optional<std::string> JpegBytesOf(const Dib& dib, int quality, bool progressive) {
  char* buffer = nullptr;
  std::size_t size = 0;
  UniqueFile stream(open_memstream(&buffer, &size));
  const bool written = WriteDibToJpeg(stream.get(), dib, quality, progressive);
  stream.reset();  // sets `buffer` and `size`
  std::optional<std::string> bytes;
  if (written) bytes.emplace(buffer, size);
  std::free(buffer);
  return bytes;
}

std::string JpegBytes(int width, int height, int seed) {
  return JpegBytesOf(PatternDib(width, height, seed), 90).value_or("");
}

std::string BmpBytes(int width, int height, int seed) {
  return BmpFileOf(PatternDib(width, height, seed));
}

}  // namespace velmarin::test
