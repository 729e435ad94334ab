#pragma once

#include <string>
#include <string_view>

namespace velmarin {

// The parts of the program are shared libraries of its own, loaded by the executable for the
// commands that need them, so a command loads only the libraries it uses. They lie in a
// private folder at a fixed place beside the executable: "../lib/velmarin" from "bin" when
// installed, and the same from the build folder's "src".

// The function `entry` of the part `file` of that folder, loaded with the libraries it needs;
// nullptr with `error` (UTF-8, the loader's own words) when it cannot be had.
void* LoadProgramPart(std::string_view file, const char* entry, std::string* error);

}  // namespace velmarin
