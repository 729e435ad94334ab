#include "base/scanf_reader.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

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
  // strtol needs a terminated string; white space is skipped above, as the C locale does.
  const std::string rest(text_.substr(pos_));
  char* end = nullptr;
  const long value = std::strtol(rest.c_str(), &end, 10);
  if (end == rest.c_str()) return std::nullopt;
  pos_ += static_cast<std::size_t>(end - rest.c_str());
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
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
