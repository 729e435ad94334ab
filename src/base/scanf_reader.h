#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmarin {

// Reads numbers and separators from the front of a text the way sscanf does, so settings
// written for the old program read the same.
class ScanfReader {
 public:
  explicit ScanfReader(std::string_view text) : text_(text) {}

  // "%d": white space, an optional sign, at least one decimal digit. A number beyond the
  // range of int is held at the nearest end of the range.
  std::optional<int> Decimal();
  // "%x": white space, an optional sign, an optional "0x" prefix, hexadecimal digits.
  // Digits beyond 32 bits saturate; a minus sign negates modulo 2^32, as strtoul does.
  std::optional<std::uint32_t> Hexadecimal();
  // A literal character of the format: matches exactly, without skipping white space.
  bool Literal(char c);

 private:
  int PeekAt(std::size_t ahead) const;
  int Peek() const { return PeekAt(0); }
  int Next() { return static_cast<unsigned char>(text_[pos_++]); }
  void SkipSpace();
  bool Sign();

  std::string_view text_;
  std::size_t pos_ = 0;
};

// "%d" on the front of `text` (a numeric setting); nullopt when it does not scan.
inline std::optional<int> ScanDecimal(std::string_view text) { return ScanfReader(text).Decimal(); }

// The white space of scanf (and isspace in the C locale).
constexpr bool IsScanfSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace velmarin
