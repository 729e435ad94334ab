#include "base/scanf_reader.h"

#include <climits>

namespace velmarin {
namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

int HexDigit(int c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int> ScanfReader::Decimal() {
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

std::optional<std::uint32_t> ScanfReader::Hexadecimal() {
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

bool ScanfReader::Literal(char c) {
  if (Peek() != static_cast<unsigned char>(c)) return false;
  ++pos_;
  return true;
}

int ScanfReader::PeekAt(std::size_t ahead) const {
  return pos_ + ahead < text_.size() ? static_cast<unsigned char>(text_[pos_ + ahead]) : -1;
}

void ScanfReader::SkipSpace() {
  while (IsScanfSpace(Peek())) ++pos_;
}

bool ScanfReader::Sign() {
  const bool negative = Peek() == '-';
  if (negative || Peek() == '+') ++pos_;
  return negative;
}

}  // namespace velmarin
