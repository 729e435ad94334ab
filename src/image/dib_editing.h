#pragma once

#include <string_view>

#include "image/dib.h"
#include "naming/local_time.h"
#include "settings/settings.h"

namespace velmarin {

// Fills the bands outside SourceRange and draws the TextLines stamps of `settings` on a
// 24-bit Dib, in place. The result is pixel for pixel what ApplyRangeAndStamps draws on the
// upright picture.
// False when no room could be had for the drawing (the picture is then partly edited).
bool EditDibInPlace(Dib& dib, const Settings& settings, const Cp932Text& capture_id,
                    const LocalTime& now);

}  // namespace velmarin
