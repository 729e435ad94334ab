#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "image/dib.h"

namespace velmarin {

// What the library's warnings (damage it can decode past) do to a decoding.
enum class JpegWarnings {
  // A finished file with damage inside (a bad Huffman code, a data segment that ends
  // early, an inconsistent progression) is decoded as far as the library can; each distinct
  // warning is told once, those that leave the picture whole not at all. A file that ends
  // before its end marker still fails.
  kReportOnce,
  // Any warning that leaves the picture less than whole and correct fails the decoding,
  // and nothing is told: the test that a file is whole and clean.
  kRefuseSilently,
};

// Decodes the JPEG at the stream's position into a 24-bit bottom-up Dib. Grayscale, CMYK
// and YCCK pictures become RGB. nullopt on any error, on the warnings `warnings` refuses, for
// files cut short, for 12-bit or otherwise unsupported files and for pictures over kMaxPixels.
// The library's texts (its error, the warnings told) go to `messages` when given, "; " between.
std::optional<Dib> ReadJpegToDib(std::FILE* file, JpegWarnings warnings = JpegWarnings::kReportOnce,
                                 std::string* messages = nullptr);

// Encodes `dib` (any bit count ExpandDibTo24 handles) as a JPEG into the stream. Quality is
// clamped to 1..100. Baseline unless `progressive`. True when the library finished the
// file; the caller still has to flush and close the stream. The library's error text goes to
// `messages` when given.
bool WriteDibToJpeg(std::FILE* file, const Dib& dib, int quality, bool progressive,
                    std::string* messages = nullptr);

}  // namespace velmarin
