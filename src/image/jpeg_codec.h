#pragma once

#include <cstdio>
#include <optional>

#include "image/dib.h"

namespace velmarin {

// Decodes the JPEG at the stream's position into a 24-bit bottom-up Dib. Grayscale, CMYK
// and YCCK pictures become RGB. nullopt on any error or warning (a truncated or corrupt
// file is never passed on as complete), for 12-bit or otherwise unsupported files and for
// pictures over kMaxPixels. The library's messages go to standard error.
std::optional<Dib> ReadJpegToDib(std::FILE* file);

// Encodes `dib` (any bit count ExpandDibTo24 handles) as a JPEG into the stream. Quality is
// clamped to 1..100. Baseline unless `progressive`. True when the library finished the
// file; the caller still has to flush and close the stream.
bool WriteDibToJpeg(std::FILE* file, const Dib& dib, int quality, bool progressive);

}  // namespace velmarin
