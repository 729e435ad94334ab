#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velmarin {

// The fields of the program's own line files (the journal, the watch folder's record): a
// field holds any bytes, those a line cannot hold as they are (controls, the tab, '%', DEL)
// written as "%XX".
std::string EscapeField(std::string_view text);
// The bytes of an escaped field; nullopt for a '%' not followed by two hexadecimal digits.
std::optional<std::string> UnescapeField(std::string_view text);

// `line` cut at every `separator`: n separators give n + 1 fields.
std::vector<std::string_view> SplitFields(std::string_view line, char separator);

// A whole field read as a decimal number; nullopt for anything else.
template <typename Number>
std::optional<Number> FieldNumber(std::string_view text) {
  Number value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace velmarin
