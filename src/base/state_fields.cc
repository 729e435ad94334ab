#include "base/state_fields.h"

#include <cstdio>

namespace velmarin {

std::string EscapeField(std::string_view text) {
  std::string out;
  AppendEscapedField(out, text);
  return out;
}

void AppendEscapedField(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '%' || c == '\t' || byte == 0x7f) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
}

std::optional<std::string> UnescapeField(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    unsigned value = 0;
    if (i + 2 >= text.size()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
    if (ec != std::errc() || end != text.data() + i + 3) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t at = line.find(separator, start);
    fields.push_back(line.substr(start, at - start));
    if (at == std::string_view::npos) return fields;
    start = at + 1;
  }
}

}  // namespace velmarin
