#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmarin {

// The stamp fonts the naming dialog offers: font family names in code page 932.
inline constexpr std::size_t kMaxFontNames = 500;
// A name is kept in 80 bytes with its terminating NUL.
inline constexpr std::size_t kMaxFontNameBytes = 79;
// The last name a collection starts from at program start.
inline constexpr char kFirstLastFontName[] = "mirelo";

// The names of `enumerated` (code page 932, in enumeration order) that are not contained in
// the name kept just before them, at most `limit` of them. `last_name` starts the comparison
// and ends as the last name kept. So one face reported several times in a row is listed once,
// a name that is part of the one before it is dropped, and so is an empty name.
std::vector<std::string> SkipRepeatedFontNames(const std::vector<std::string>& enumerated,
                                               std::string& last_name, std::size_t limit);

// The list collected at every initial update of the window. The last name is kept from one
// collection to the next.
class FontNameList {
 public:
  // Takes the UTF-8 names of an enumeration. Names that code page 932 cannot write or
  // that are longer than kMaxFontNameBytes in it are left out: they could be neither stored
  // as TextFont nor found again by that name.
  void Collect(const std::vector<std::string>& names_utf8);
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
  std::string last_name_ = kFirstLastFontName;
};

}  // namespace velmarin
