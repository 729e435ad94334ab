#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmarin {

// Replaces every occurrence of `pattern` in `text`, resuming behind each inserted
// replacement. Returns the number of replacements.
std::size_t ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement);

}  // namespace velmarin
