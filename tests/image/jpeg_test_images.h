#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "image/dib.h"

namespace velmarin::test {

// Samples of one pixel in the order of the encoder's input colour space.
using PixelSource = std::function<void(int x, int y, std::uint8_t* samples)>;

struct TestJpegFormat {
  int components = 3;
  int in_colour_space = 2;     // a J_COLOR_SPACE value; 2 = JCS_RGB
  int jpeg_colour_space = -1;  // -1: the library's default for the input
  int adobe_marker = -1;       // -1: the library's default, 0 off, 1 on
  int quality = 95;
};

// A JPEG file in memory written directly with libjpeg (top row first).
std::string EncodeTestJpeg(int width, int height, const PixelSource& pixels,
                           const TestJpegFormat& format = {});

std::optional<Dib> DecodeJpegBytes(const std::string& bytes);
std::optional<Dib> DecodeJpegFile(const std::filesystem::path& path);

// A 24-bit Dib whose blue grows to the right and green downwards, with a red top-left
// quarter so orientation can be told.
Dib MakeGradientDib(int width, int height);

// Blue, green, red of pixel (x, y) with y = 0 the top row of the picture.
struct Bgr {
  int b, g, r;
};
Bgr PixelAt(const Dib& dib, int x, int y);

}  // namespace velmarin::test
