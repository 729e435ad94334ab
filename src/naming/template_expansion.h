#pragma once

#include <string>
#include <string_view>

#include "naming/local_time.h"

namespace velmarin {

// Expands "$i" with its two-digit width and "$y", "$M", "$d", "$h", "$m", "$s" from `now`.
// "$r" sequences pass through unchanged. All texts are code page 932 bytes.
std::string ExpandTemplate(std::string_view id, std::string_view templ, const LocalTime& now);

}  // namespace velmarin
