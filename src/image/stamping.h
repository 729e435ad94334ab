#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/cp932_text.h"
#include "image/stamp_settings.h"
#include "naming/local_time.h"

class QPainter;

namespace velmarin {

// Fills the four bands outside `source_range` in `back_color`, then draws the stamps of
// `text_lines` (with "$i" from `capture_id` and the date and time from `now`) on top. All
// texts are code page 932 setting values; `width` and `height` are the picture's size.
void ApplyRangeAndStamps(QPainter& painter, int width, int height, std::string_view source_range,
                         const Cp932Text& text_lines, const Cp932Text& text_font,
                         std::string_view back_color, std::string_view text_color,
                         const Cp932Text& capture_id, const LocalTime& now);

// Fills the four bands outside `source_range` (left, right, top, bottom) in `back_color`;
// nothing without a colour or a range of four numbers.
void FillOutsideRange(QPainter& painter, int width, int height, std::string_view source_range,
                      std::optional<std::uint32_t> back_color);

// Draws every stamp of `text_lines`. Without a background colour (nullopt) the text cells
// are left transparent.
void DrawTextStamps(QPainter& painter, const Cp932Text& text_lines, int width, int height,
                    std::optional<std::uint32_t> back_color, const Cp932Text& text_font,
                    std::string_view text_color, const Cp932Text& capture_id, const LocalTime& now);

// Draws one expanded stamp text with its top-left corner at (x, y): the cell in
// `back_color`, the glyphs in `text_color`, face `text_font`. A character that is not valid
// code page 932 is drawn as "?". Draws nothing for a size that gives no pixel height, an
// empty text or a text colour that does not scan.
void DrawStampText(QPainter& painter, int size, int x, int y, const Cp932Text& expanded_text,
                   std::optional<std::uint32_t> back_color, const Cp932Text& text_font,
                   std::string_view text_color);

}  // namespace velmarin
