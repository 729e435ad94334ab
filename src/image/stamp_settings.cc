#include "image/stamp_settings.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "base/cp932_search.h"

namespace velmarin {
namespace {

// Reads numbers and separators from the front of a text the way sscanf does.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  // "%d": white space, an optional sign, at least one decimal digit. A number beyond the
  // range of int is held at the nearest end of the range.
  std::optional<int> Decimal() {
    SkipSpace();
    const bool negative = Sign();
    if (!IsDigit(Peek())) return std::nullopt;
    long long value = 0;
    while (IsDigit(Peek())) {
      value = value * 10 + (Next() - '0');
      if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
  }

  // "%x": white space, an optional sign, an optional "0x" prefix, hexadecimal digits.
  // Digits beyond 32 bits saturate; a minus sign negates modulo 2^32, as strtoul does.
  std::optional<std::uint32_t> Hexadecimal() {
    SkipSpace();
    const bool negative = Sign();
    if (Peek() == '0' && (PeekAt(1) == 'x' || PeekAt(1) == 'X') && HexDigit(PeekAt(2)) >= 0) {
      pos_ += 2;
    }
    if (HexDigit(Peek()) < 0) return std::nullopt;
    std::uint64_t value = 0;
    while (HexDigit(Peek()) >= 0) {
      value = value * 16 + static_cast<std::uint64_t>(HexDigit(Next()));
      if (value > UINT32_MAX) value = UINT32_MAX;
    }
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? 0u - result : result;
  }

  // A literal character of the format: matches exactly, without skipping white space.
  bool Literal(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }

 private:
  static bool IsDigit(int c) { return c >= '0' && c <= '9'; }
  static bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
  static int HexDigit(int c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  int PeekAt(std::size_t ahead) const {
    return pos_ + ahead < text_.size() ? static_cast<unsigned char>(text_[pos_ + ahead]) : -1;
  }
  int Peek() const { return PeekAt(0); }
  int Next() { return static_cast<unsigned char>(text_[pos_++]); }
  void SkipSpace() {
    while (IsSpace(Peek())) ++pos_;
  }
  bool Sign() {
    if (Peek() == '-') {
      ++pos_;
      return true;
    }
    if (Peek() == '+') ++pos_;
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

constexpr std::string_view kComma = ",";

// The stamp text of a group that starts at the front of `group`: the fourth field from its
// first non-blank byte up to the next comma.
std::string StampText(std::string_view group) {
  std::string_view field = group.substr(*MbsSkipOccurrences(group, kComma, 3));
  const std::size_t first = field.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  field.remove_prefix(first);
  return std::string(field.substr(0, MbsFind(field, kComma).value_or(field.size())));
}

}  // namespace

std::optional<int> ScanDecimal(std::string_view text) { return Scanner(text).Decimal(); }

std::optional<std::uint32_t> ParseColorValue(std::string_view text) {
  const auto value = Scanner(text).Hexadecimal();
  if (!value) return std::nullopt;
  return *value & 0xFFFFFFu;
}

std::optional<SourceRect> ParseSourceRange(std::string_view text) {
  if (MbsCount(text, kComma) <= 2) return std::nullopt;
  Scanner scan(text);
  const auto x1 = scan.Decimal();
  if (!x1 || !scan.Literal(',')) return std::nullopt;
  const auto y1 = scan.Decimal();
  if (!y1 || !scan.Literal(',')) return std::nullopt;
  const auto x2 = scan.Decimal();
  if (!x2 || !scan.Literal(',')) return std::nullopt;
  const auto y2 = scan.Decimal();
  if (!y2) return std::nullopt;
  return SourceRect{*x1, *y1, *x2, *y2};
}

std::vector<Stamp> ParseTextLines(std::string_view text) {
  std::vector<Stamp> stamps;
  std::string_view rest = text;
  while (MbsCount(rest, kComma) > 2) {
    Scanner scan(rest);
    const auto size = scan.Decimal();
    const bool size_ok = size && scan.Literal(',');
    const auto x = size_ok ? scan.Decimal() : std::nullopt;
    const bool x_ok = x && scan.Literal(',');
    const auto y = x_ok ? scan.Decimal() : std::nullopt;
    if (y) stamps.push_back(Stamp{*size, *x, *y, StampText(rest)});
    const auto next = MbsSkipOccurrences(rest, kComma, 4);
    if (!next) break;
    rest.remove_prefix(*next);
  }
  return stamps;
}

int StampPixelSize(int size) {
  // MulDiv(size, 96, 720): the exact quotient rounded half away from zero.
  const long long product = static_cast<long long>(size) * 96;
  const long long half = product < 0 ? -360 : 360;
  return static_cast<int>(std::min<long long>((product + half) / 720, kMaxStampPixelSize));
}

long long CountFromEdge(int value, int extent) {
  return value < 0 ? static_cast<long long>(extent) + value : value;
}

std::vector<RowSpan> StampRowSpans(std::string_view text_lines, int height) {
  std::vector<RowSpan> spans;
  for (const Stamp& stamp : ParseTextLines(text_lines)) {
    const long long size = StampPixelSize(stamp.size);
    if (size < 1 || stamp.text.empty()) continue;
    const long long top = CountFromEdge(stamp.y, height);
    const long long first = std::max(top - 2 * size - 2, 0LL);
    const long long last = std::min(top + 4 * size + 2, static_cast<long long>(height));
    if (first < last) spans.push_back({static_cast<int>(first), static_cast<int>(last)});
  }
  std::sort(spans.begin(), spans.end(),
            [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
  std::vector<RowSpan> merged;
  for (const RowSpan& span : spans) {
    if (!merged.empty() && span.first <= merged.back().last) {
      merged.back().last = std::max(merged.back().last, span.last);
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

}  // namespace velmarin
