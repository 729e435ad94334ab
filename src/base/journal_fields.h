#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmarin {

// The fields of the program's journals: tab-separated text lines. A field holds any bytes; the
// ones a line cannot carry as they are (the tab, line ends and other controls, '%') are written
// "%XX".
std::string EscapeField(std::string_view text);
// The bytes of an escaped field; nullopt when a '%' is not followed by two hex digits.
std::optional<std::string> UnescapeField(std::string_view text);
// `line` split at every `separator` (an empty line is one empty field).
std::vector<std::string_view> SplitFields(std::string_view line, char separator);

// A decimal number that is the whole field, or nullopt.
template <typename Number>
std::optional<Number> FieldNumber(std::string_view text) {
  Number value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace velmarin
