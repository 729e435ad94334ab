#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace velmarin {

// Substring search over code page 932 text that never matches at the second byte of a
// two-byte character. Positions are byte offsets into `text`; character boundaries are those
// of the whole text, also for the searches that resume behind an earlier match. An empty
// pattern is found nowhere (a search for it could never move on), so MbsCount of "" is 0.

// True when a lead byte (0x81-0x9F, 0xE0-0xFC) starts a two-byte character.
bool IsCp932LeadByte(unsigned char byte);
// Bytes of the character at `pos`: 2 for a lead byte followed by another byte, else 1.
std::size_t Cp932CharLength(std::string_view text, std::size_t pos);
// The longest front of `text` of at most `max_bytes` that does not split a character.
std::string_view CutCp932(std::string_view text, std::size_t max_bytes);

// First character start at which `pattern` matches, or nullopt.
std::optional<std::size_t> MbsFind(std::string_view text, std::string_view pattern);
// Position just behind the n-th match, or nullopt when there are fewer than n or n < 1.
std::optional<std::size_t> MbsSkipOccurrences(std::string_view text, std::string_view pattern,
                                              int n);
// Number of matches, each search starting just behind the previous match.
int MbsCount(std::string_view text, std::string_view pattern);

}  // namespace velmarin
