#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "image/dib.h"

namespace velmarin::test {

// A 24-bit picture with a pattern that depends on `seed`.
Dib PatternDib(int width, int height, int seed);
// That picture as the bytes of a JPEG file (quality 90).
std::string JpegBytes(int width, int height, int seed);
// That picture as the bytes of an uncompressed 24-bit BMP file.
std::string BmpBytes(int width, int height, int seed);
// The decoded picture of a JPEG file; nullopt when it does not decode.
std::optional<Dib> DecodeJpegFile(const std::filesystem::path& jpeg);

}  // namespace velmarin::test
