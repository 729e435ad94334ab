#pragma once

#include <cstdint>
#include <optional>

#include "image/dib.h"

namespace velmarin {

// A 24-bit copy of `dib`: 24-bit rows are copied, 1/4/8-bit rows go through the colour
// table (an index past the table gives black). nullopt for other bit counts.
std::optional<Dib> ExpandDibTo24(const Dib& dib);

// Nearest-neighbour resample of 24-bit rows in place. The source rows have the 24-bit
// stride of old_w; the result is new_h packed rows of new_w * 3 bytes at the start of
// `rows`. Source column floor(x * (old_w / new_w)), row floor(y * (old_h / new_h)), the
// ratios as doubles. `rows` must hold the source; the result must not be larger.
void ResampleDibNearest(std::uint8_t* rows, int old_w, int old_h, int new_w, int new_h);

}  // namespace velmarin
