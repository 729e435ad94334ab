#pragma once

#include <string>
#include <string_view>

#include "base/cp932_text.h"
#include "naming/local_time.h"

namespace velmarin {

// Expands "$i" with its two-digit width and "$y", "$M", "$d", "$h", "$m", "$s" from `now`.
// "$r" sequences pass through unchanged. All texts are code page 932 bytes.
Cp932Text ExpandTemplate(const Cp932Text& id, const Cp932Text& templ, const LocalTime& now);

}  // namespace velmarin
