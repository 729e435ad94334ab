#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp932_text.h"

// Reading the range, stamp and colour settings, scanf-style: a number skips leading white
// space and takes an optional sign; whatever follows the last field read is ignored.
namespace velmarin {

// The rectangle kept from the picture, as written in SourceRange "x1,y1,x2,y2". A negative
// x2 or y2 is counted from the right or bottom edge when the bands are filled.
struct SourceRect {
  int x1 = 0;
  int y1 = 0;
  int x2 = 0;
  int y2 = 0;
  bool operator==(const SourceRect&) const = default;
};

// One stamp of TextLines: size in tenths of a point, top-left corner in pixels (negative
// values counted from the right or bottom edge), text in code page 932 before expansion.
struct Stamp {
  int size = 0;
  int x = 0;
  int y = 0;
  Cp932Text text;
  bool operator==(const Stamp&) const = default;
};

// A colour text read as one hexadecimal number ("%x"), returned as a Windows colour value:
// the lowest byte is red, then green, then blue ("0000FF" is red). Bits above the lowest
// 24 carry no colour and are dropped. nullopt when the text does not scan.
std::optional<std::uint32_t> ParseColorValue(std::string_view text);

// "%d,%d,%d,%d" from a SourceRange holding more than two commas; nullopt when there are
// fewer commas or when any of the four numbers does not scan.
std::optional<SourceRect> ParseSourceRange(std::string_view text);

// The stamps of TextLines, groups of four comma-separated fields (size, x, y, text). The
// text runs from the first non-blank byte of the fourth field to the next comma. A trailing
// group of fewer than four fields and a group whose numbers do not scan are left out.
std::vector<Stamp> ParseTextLines(const Cp932Text& text_lines);

// Glyphs larger than this are drawn at this size: far beyond any picture, and it keeps the
// rasteriser's work bounded for a mistyped size.
inline constexpr int kMaxStampPixelSize = 8192;

// Pixel height of a stamp font of `size` tenths of a point on a 96 dpi surface, rounded
// half away from zero as Windows' MulDiv rounds, at most kMaxStampPixelSize.
int StampPixelSize(int size);

// A range or stamp coordinate: a negative `value` is counted from the far edge.
long long CountFromEdge(int value, int extent);

// Picture rows [first, last).
struct RowSpan {
  int first = 0;
  int last = 0;
  bool operator==(const RowSpan&) const = default;
};

// The rows of a picture `height` rows high that drawing the stamps of `text_lines` can
// change: each text cell with a margin of two font heights above and four below (more than
// any face's ascent, descent and overhang), merged where they meet and cut to the picture.
std::vector<RowSpan> StampRowSpans(const Cp932Text& text_lines, int height);

}  // namespace velmarin
