#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace velmarin {

// Text in code page 932 (Shift-JIS) bytes: settings values, IDs, templates, stamp texts and
// the program's own messages. A type of its own, so the compiler refuses to hand it where
// UTF-8 is meant (paths, Qt strings, standard error) or the other way round: the two meet
// only through the conversions of platform/encoding.h. Bytes read from a Shift-JIS file are
// made into one with the explicit constructor; a string literal (ASCII, or code page 932
// bytes written as escapes) converts by itself, as it is the program's own text.
class Cp932Text {
 public:
  Cp932Text() = default;
  explicit Cp932Text(std::string bytes) : bytes_(std::move(bytes)) {}
  explicit Cp932Text(std::string_view bytes) : bytes_(bytes) {}
  explicit Cp932Text(const char* bytes) : bytes_(bytes) {}
  template <std::size_t N>
  Cp932Text(const char (&literal)[N]) : bytes_(literal, N - 1) {}  // NOLINT: implicit on purpose

  const std::string& bytes() const { return bytes_; }
  std::string_view view() const { return bytes_; }
  bool empty() const { return bytes_.empty(); }
  std::size_t size() const { return bytes_.size(); }
  void clear() { bytes_.clear(); }

  Cp932Text& operator+=(const Cp932Text& more) {
    bytes_ += more.bytes_;
    return *this;
  }
  friend Cp932Text operator+(Cp932Text front, const Cp932Text& back) { return front += back; }
  friend bool operator==(const Cp932Text&, const Cp932Text&) = default;
  friend std::strong_ordering operator<=>(const Cp932Text&, const Cp932Text&) = default;

 private:
  std::string bytes_;
};

}  // namespace velmarin
