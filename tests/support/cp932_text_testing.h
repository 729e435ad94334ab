#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>

#include "base/cp932_text.h"

namespace velmarin {

// Tests compare code page 932 text with the bytes they expect, and print it as bytes.
inline bool operator==(const Cp932Text& text, std::string_view bytes) {
  return text.view() == bytes;
}

template <std::size_t N>
bool operator==(const Cp932Text& text, const char (&bytes)[N]) {
  return text.view() == std::string_view(bytes, N - 1);
}

inline std::ostream& operator<<(std::ostream& out, const Cp932Text& text) {
  return out << text.bytes();
}

inline void PrintTo(const Cp932Text& text, std::ostream* out) {
  *out << '"' << text.bytes() << '"';
}

}  // namespace velmarin
