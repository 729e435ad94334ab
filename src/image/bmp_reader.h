#pragma once

#include <cstdio>
#include <optional>

#include "image/dib.h"

namespace velmarin {

// Reads a BMP file at the stream's position. Every header field is checked before use.
// Result: a Dib with a 40-byte header and positive height; 1/4/8-bit pictures keep their
// colour table (biClrUsed = its entry count), 16/32-bit and RLE pictures become 24-bit.
// nullopt for anything that is not a well-formed, supported BMP. The stream must be
// seekable (a file or a memory stream): its length bounds every size the header claims.
std::optional<Dib> ReadBmpToDib(std::FILE* file);

}  // namespace velmarin
