#include "image/jpeg_test_images.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "image/jpeg_codec.h"

namespace velmarin::test {

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
  Dib dib = *Dib::Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = dib.row(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / width);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
      row[3 * x + 2] = static_cast<std::uint8_t>(x < width / 2 && y < height / 2 ? 230 : 20);
    }
  }
  return dib;
}

Bgr PixelAt(const Dib& dib, int x, int y) {
  const std::uint8_t* p = dib.row(dib.height() - 1 - y) + 3 * x;
  return {p[0], p[1], p[2]};
}

}  // namespace velmarin::test
