#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/cp932_text.h"

namespace velmarin {

// Settings values, IDs, templates and stamp texts are code page 932 (Shift-JIS) bytes.
// Conversion happens only at the edges: file-system paths, Qt strings, drawn text.
// Both functions refuse (nullopt) input that does not convert whole, never mangling it.
std::optional<std::string> Cp932ToUtf8(const Cp932Text& cp932);
std::optional<Cp932Text> Utf8ToCp932(std::string_view utf8);

// Code page 932 text to UTF-8 for drawing: each character that does not convert (an
// unmapped or broken two-byte sequence, a byte that starts none) becomes "?", as a Windows
// text conversion shows it, so a damaged stamp is still drawn. `replaced` (optional) gets the
// number of such characters.
std::string Cp932ToUtf8Replacing(const Cp932Text& cp932, int* replaced = nullptr);

// UTF-8 text (a path, a library's or the system's message) as a message in code page 932:
// each character that code page lacks, and each byte that is not UTF-8, becomes "?".
Cp932Text Utf8ToCp932Replacing(std::string_view utf8);

// Bytes meant as UTF-8 (a file name as the file system gives it) as valid UTF-8, as D-Bus
// strings must be: each byte that begins no valid character becomes U+FFFD.
std::string Utf8Replacing(std::string_view bytes);

}  // namespace velmarin
