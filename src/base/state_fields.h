#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmarin {

// The fields of the program's own state files in its folder: one record a line, its fields
// separated by tabs. A field holds any bytes: those it cannot hold as they are (the separator,
// line ends, '%', controls) are written "%XX".
std::string EscapeField(std::string_view text);
// EscapeField of `text` added to the end of `out`.
void AppendEscapedField(std::string& out, std::string_view text);
// The bytes of an escaped field; nullopt when an escape is malformed.
std::optional<std::string> UnescapeField(std::string_view text);

// `line` cut at every `separator`; an empty line gives one empty field.
std::vector<std::string_view> SplitFields(std::string_view line, char separator = '\t');

// A field holding a decimal number, and nothing else.
template <typename Number>
std::optional<Number> NumberField(std::string_view text) {
  Number value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace velmarin
