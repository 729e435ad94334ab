// Code page 932 search against a character-by-character reference. The first byte gives the
// pattern length, the pattern follows, the rest is the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/cp932_search.h"

namespace {

using Pos = std::optional<std::size_t>;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Matches at character starts, each at or behind the end of the previous one.
int NaiveCount(std::string_view text, std::string_view pattern, Pos* first) {
  int count = 0;
  std::size_t behind = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += velmarin::Cp932CharLength(text, pos)) {
    if (pattern.empty() || pos < behind || text.substr(pos, pattern.size()) != pattern) continue;
    if (count == 0) *first = pos;
    ++count;
    behind = pos + pattern.size();
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t pattern_size = std::min<std::size_t>(data[0] % 8, input.size());
  const std::string_view pattern = input.substr(0, pattern_size);
  const std::string_view text = input.substr(pattern_size);

  Pos first;
  const int count = NaiveCount(text, pattern, &first);
  const Pos found = velmarin::MbsFind(text, pattern);
  Check(found == first);
  if (found) Check(text.substr(*found, pattern.size()) == pattern);
  const Pos after = velmarin::MbsSkipOccurrences(text, pattern, 1);
  Check(after == (found ? Pos(*found + pattern.size()) : Pos()));
  Check(velmarin::MbsCount(text, pattern) == count);
  if (count > 0) {
    const Pos last = velmarin::MbsSkipOccurrences(text, pattern, count);
    Check(last.has_value() && *last <= text.size());
  }
  Check(!velmarin::MbsSkipOccurrences(text, pattern, count + 1));
  return 0;
}
