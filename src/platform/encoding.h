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

// Code page 932 text to UTF-8 for drawing: each character that does not convert (an
// unmapped or broken two-byte sequence, a byte that starts none) becomes "?", as a Windows
// text conversion shows it, so a damaged stamp is still drawn. `replaced` (optional) gets the
// number of such characters.
std::string Cp932ToUtf8Replacing(std::string_view cp932, int* replaced = nullptr);

}  // namespace velmarin
