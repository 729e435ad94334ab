#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "image/dib.h"
#include "settings/settings.h"

namespace velmarin::test {

struct Rgb {
  int r = 0, g = 0, b = 0;
};

// A 24-bit picture whose pixel (x, y), y = 0 the top row, has the colour `paint` gives.
Dib PaintPicture(int width, int height, const std::function<Rgb(int x, int y)>& paint);

// Pixel (x, y) of a 24-bit Dib, y = 0 the top row.
Rgb PixelOf(const Dib& dib, int x, int y);

// True when every channel differs by at most `tolerance`.
bool Near(const Rgb& a, const Rgb& b, int tolerance);

void WriteJpeg(const std::filesystem::path& path, const Dib& dib, int quality = 95);
// A 24-bit BMP file of `dib` (40-byte header, no colour table).
void WriteBmp24(const std::filesystem::path& path, const Dib& dib);
// An 8-bit BMP file whose pixel (x, y) takes palette entry (x + y) % 4 of `palette`.
void WriteBmp8(const std::filesystem::path& path, int width, int height, const Rgb (&palette)[4]);
// The decoded JPEG file; fails the test when it does not decode.
Dib ReadJpeg(const std::filesystem::path& path);

// The default settings (of a program folder "/nowhere").
Settings DefaultTestSettings();

}  // namespace velmarin::test
