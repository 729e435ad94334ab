#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/cp932_text.h"
#include "settings/settings.h"

namespace velmarin {

enum class TypedTextError {
  kNotCp932,  // a character code page 932 cannot write (or a NUL)
  kTooLong,   // more bytes in code page 932 than the value may hold
};

// Text typed in a window (UTF-8) as the code page 932 value it is stored as, or nullopt with
// `error` set: nothing is ever stored mangled or cut.
std::optional<Cp932Text> TypedTextToCp932(std::string_view utf8, std::size_t max_bytes,
                                          TypedTextError* error);

}  // namespace velmarin
