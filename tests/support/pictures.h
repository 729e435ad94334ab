#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "image/dib.h"
#include "image/jpeg_codec.h"

namespace velmarin {
struct Settings;
}

namespace velmarin::test {

// Pictures for tests and benchmarks: made in memory, written as JPEG or BMP files, read back.

struct Rgb {
  int r = 0, g = 0, b = 0;
};

// A 24-bit picture whose pixel (x, y), y = 0 the top row, has the colour `paint` gives.
Dib PaintPicture(int width, int height, const std::function<Rgb(int x, int y)>& paint);
// A 24-bit Dib whose blue grows to the right and green downwards, with a red top-left
// quarter so orientation can be told.
Dib MakeGradientDib(int width, int height);
// A 24-bit picture with a pattern that depends on `seed`.
Dib PatternDib(int width, int height, int seed);

// Pixel (x, y) of a 24-bit Dib, y = 0 the top row.
Rgb PixelOf(const Dib& dib, int x, int y);
// True when every channel differs by at most `tolerance`.
bool Near(const Rgb& a, const Rgb& b, int tolerance);

// How far the channels of two 24-bit pictures of the same size lie apart.
struct Difference {
  double mean = 0;
  int max = 0;
};
Difference Compare(const Dib& a, const Dib& b);

// Samples of one pixel in the order of the encoder's input colour space.
using PixelSource = std::function<void(int x, int y, std::uint8_t* samples)>;
struct TestJpegFormat {
  int components = 3;
  int in_colour_space = 2;     // a J_COLOR_SPACE value; 2 = JCS_RGB
  int jpeg_colour_space = -1;  // -1: the library's default for the input
  int adobe_marker = -1;       // -1: the library's default, 0 off, 1 on
  int quality = 95;
  bool arithmetic = false;  // arithmetic coding instead of Huffman coding
  int restart_rows = 0;     // a restart marker every so many rows of blocks; 0: none
};
// A JPEG file in memory written directly with libjpeg (top row first).
std::string EncodeTestJpeg(int width, int height, const PixelSource& pixels,
                           const TestJpegFormat& format = {});
// The JPEG file WriteDibToJpeg makes of `dib`; nullopt when it fails.
std::optional<std::string> JpegBytesOf(const Dib& dib, int quality, bool progressive = false);
// PatternDib as the bytes of a JPEG file (quality 90).
std::string JpegBytes(int width, int height, int seed);
// PatternDib as the bytes of an uncompressed 24-bit BMP file.
std::string BmpBytes(int width, int height, int seed);

void WriteJpeg(const std::filesystem::path& path, const Dib& dib, int quality = 95);
// A 24-bit BMP file of `dib` (40-byte header, no colour table).
void WriteBmp24(const std::filesystem::path& path, const Dib& dib);
// An 8-bit BMP file whose pixel (x, y) takes palette entry (x + y) % 4 of `palette`.
void WriteBmp8(const std::filesystem::path& path, int width, int height, const Rgb (&palette)[4]);

// `messages` as for ReadJpegToDib.
std::optional<Dib> DecodeJpegBytes(const std::string& bytes,
                                   JpegWarnings warnings = JpegWarnings::kReportOnce,
                                   std::string* messages = nullptr);
std::optional<Dib> DecodeBmpBytes(const std::string& bytes);
// The decoded picture of a JPEG file; nullopt when it does not decode.
std::optional<Dib> DecodeJpegFile(const std::filesystem::path& path);
// The decoded JPEG file; fails the test when it does not decode.
Dib ReadJpeg(const std::filesystem::path& path);

// The default settings (of a program folder "/nowhere").
Settings DefaultTestSettings();

}  // namespace velmarin::test
