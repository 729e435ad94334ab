#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "naming/local_time.h"

namespace velmarin {

// Replaces every occurrence of `pattern` in `text`, resuming behind each inserted
// replacement. Returns the number of replacements.
std::size_t ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement);

// Expands "$i" with its two-digit width and "$y", "$M", "$d", "$h", "$m", "$s" from `now`.
// "$r" sequences pass through unchanged. All texts are code page 932 bytes.
std::string ExpandTemplate(std::string_view id, std::string_view templ, const LocalTime& now);

}  // namespace velmarin
