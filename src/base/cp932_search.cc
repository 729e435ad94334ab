#include "base/cp932_search.h"

namespace velmarin {
namespace {

// First character start at or after `min_pos` where `pattern` matches. `boundary` is a known
// character start at or before `min_pos`, so character boundaries are always those of the
// whole text, also when a previous match ended inside a two-byte character.
std::optional<std::size_t> FindFrom(std::string_view text, std::string_view pattern,
                                    std::size_t boundary, std::size_t min_pos) {
  if (pattern.empty()) return std::nullopt;
  while (boundary < min_pos) boundary += Cp932CharLength(text, boundary);
  while (boundary < text.size()) {
    // A plain search says whether the pattern occurs at all; a hit at a second byte makes
    // the scan step over that character and search again from there.
    const std::size_t hit = text.find(pattern, boundary);
    if (hit == std::string_view::npos) return std::nullopt;
    while (boundary < hit) boundary += Cp932CharLength(text, boundary);
    if (boundary == hit) return hit;
  }
  return std::nullopt;
}

}  // namespace

bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::size_t Cp932CharLength(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && IsCp932LeadByte(static_cast<unsigned char>(text[pos]))) return 2;
  return 1;
}

std::string_view CutCp932(std::string_view text, std::size_t max_bytes) {
  std::size_t cut = 0;
  while (cut < text.size()) {
    const std::size_t next = cut + Cp932CharLength(text, cut);
    if (next > max_bytes) break;
    cut = next;
  }
  return text.substr(0, cut);
}

std::optional<std::size_t> MbsFind(std::string_view text, std::string_view pattern) {
  return FindFrom(text, pattern, 0, 0);
}

std::optional<std::size_t> MbsSkipOccurrences(std::string_view text, std::string_view pattern,
                                              int n) {
  if (n < 1) return std::nullopt;
  std::size_t match = 0;
  std::size_t behind = 0;
  for (int i = 0; i < n; ++i) {
    const auto found = FindFrom(text, pattern, match, behind);
    if (!found) return std::nullopt;
    match = *found;
    behind = match + pattern.size();
  }
  return behind;
}

int MbsCount(std::string_view text, std::string_view pattern) {
  int count = 0;
  std::size_t match = 0;
  std::size_t behind = 0;
  while (const auto found = FindFrom(text, pattern, match, behind)) {
    ++count;
    match = *found;
    behind = match + pattern.size();
  }
  return count;
}

}  // namespace velmarin
