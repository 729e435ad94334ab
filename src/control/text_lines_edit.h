#pragma once

#include <string>
#include <string_view>

namespace velmarin {

// The TextLines setting as the naming dialog edits it: one stamp (size, x, y, text) per line.
// Both texts are code page 932; line breaks are "\r\n".

// Cuts the value behind every fourth comma while more than two commas remain. A final piece
// of five bytes or fewer (no stamp can be that short) is dropped.
std::string SplitTextLines(std::string_view value);

// Every "\r\n", then every remaining "\n", becomes a comma.
std::string JoinTextLines(std::string_view edit_text);

}  // namespace velmarin
