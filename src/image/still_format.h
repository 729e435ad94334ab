#pragma once

#include <filesystem>
#include <string_view>

namespace velmarin {

enum class StillFormat { kNone, kJpeg, kBmp, kPng };

// The format of a still by its name: one that ends with ".jpg", ".jpeg", ".bmp" or ".png" in
// any case; kNone for every other name. Temporary names ("x.jpg.AbC123", "x.jpg.part") are
// not stills; the names they are renamed to are.
StillFormat StillFormatOf(std::string_view name);

// The format of `file` by its own name; the folders above it ("x.jpg/a.bmp") do not count.
inline StillFormat StillFormatOfFile(const std::filesystem::path& file) {
  return StillFormatOf(file.filename().native());
}

}  // namespace velmarin
