#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmarin {

// Settings values, IDs, templates and stamp texts are code page 932 (Shift-JIS) bytes.
// Conversion happens only at the edges: file-system paths, Qt strings, drawn text.
// Both functions refuse (nullopt) input that does not convert whole, never mangling it.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

}  // namespace velmarin
