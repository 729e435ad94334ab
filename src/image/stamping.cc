#include "image/stamping.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QString>

#include <algorithm>
#include <string>

#include "base/cp932_search.h"
#include "image/font_faces.h"
#include "naming/template_expansion.h"
#include "platform/encoding.h"
#include "platform/font_enumeration.h"

namespace velmarin {
namespace {

// A stamp text holds at most 499 bytes, also after expansion.
constexpr std::size_t kMaxStampBytes = 499;
// Windows keeps 31 bytes of a face name.
constexpr std::size_t kMaxFaceBytes = 31;
// Stamp positions are held within this distance of the picture. A cell (at most 499
// glyphs of kMaxStampPixelSize) placed this far out cannot reach the picture, so nothing
// visible changes, and the coordinates stay well inside int.
constexpr long long kMaxOffset = 1 << 24;

QColor FromColorValue(std::uint32_t value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

struct StampFace {
  QFont font;
  // The Windows faces of the table have a cell exactly one em high (ascent plus descent);
  // their stand-ins declare a deeper descent, which would push the cell of a default stamp
  // out of its band into the kept picture. Their cell is therefore one em high too.
  bool em_high_cell = false;
};

StampFace MakeStampFace(const Cp932Text& text_font, int pixel_size) {
  StampFace face;
  if (const auto name = Cp932ToUtf8(Cp932Text(CutCp932(text_font.view(), kMaxFaceBytes)))) {
    face.em_high_cell = SubstituteFamily(*name).has_value();
    const QString family = FaceFamily(*name);
    // Names without a substitute go to fontconfig by family name, or by full name as the
    // font list offers them ("DejaVu Sans Bold"); an unknown or unconvertible name leaves
    // Qt's default face, as Windows falls back to its default.
    if (!family.isEmpty()) face.font.setFamily(family);
    if (!face.em_high_cell && !family.isEmpty() && !QFontDatabase::hasFamily(family)) {
      if (const auto full = FindFontByFullName(*name)) {
        face.font.setFamily(QString::fromStdString(full->family));
        face.font.setStyleName(QString::fromStdString(full->style));
      }
    }
  }
  face.font.setPixelSize(pixel_size);
  face.font.setWeight(QFont::Normal);
  face.font.setItalic(false);
  return face;
}

// Fills (left, top, w, h) clipped to the picture. A negative extent fills nothing, like
// Windows' FillRect of an empty rectangle (QPainter would mirror it instead).
void FillBand(QPainter& painter, int width, int height, long long left, long long top, long long w,
              long long h, const QColor& color) {
  const long long x0 = std::max(left, 0LL);
  const long long y0 = std::max(top, 0LL);
  const long long x1 = std::min(left + w, static_cast<long long>(width));
  const long long y1 = std::min(top + h, static_cast<long long>(height));
  if (w <= 0 || h <= 0 || x1 <= x0 || y1 <= y0) return;
  painter.fillRect(QRect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                         static_cast<int>(y1 - y0)),
                   color);
}

}  // namespace

void ApplyRangeAndStamps(QPainter& painter, int width, int height, std::string_view source_range,
                         const Cp932Text& text_lines, const Cp932Text& text_font,
                         std::string_view back_color, std::string_view text_color,
                         const Cp932Text& capture_id, const LocalTime& now) {
  const auto back = ParseColorValue(back_color);
  FillOutsideRange(painter, width, height, source_range, back);
  if (!text_lines.empty()) {
    DrawTextStamps(painter, text_lines, width, height, back, text_font, text_color, capture_id,
                   now);
  }
}

void FillOutsideRange(QPainter& painter, int width, int height, std::string_view source_range,
                      std::optional<std::uint32_t> back_color) {
  const auto range = ParseSourceRange(source_range);
  if (!back_color || !range) return;
  const QColor color = FromColorValue(*back_color);
  const long long x1 = range->x1;
  const long long y1 = range->y1;
  const long long x2 = CountFromEdge(range->x2, width);
  const long long y2 = CountFromEdge(range->y2, height);
  FillBand(painter, width, height, 0, 0, x1, height, color);
  FillBand(painter, width, height, x2, 0, width - x2, height, color);
  FillBand(painter, width, height, 0, 0, width, y1, color);
  FillBand(painter, width, height, 0, y2, width, height - y2, color);
}

void DrawTextStamps(QPainter& painter, const Cp932Text& text_lines, int width, int height,
                    std::optional<std::uint32_t> back_color, const Cp932Text& text_font,
                    std::string_view text_color, const Cp932Text& capture_id,
                    const LocalTime& now) {
  for (const Stamp& stamp : ParseTextLines(text_lines)) {
    if (stamp.text.empty()) continue;
    const Cp932Text expanded = ExpandTemplate(capture_id, stamp.text, now);
    const long long x = std::clamp(CountFromEdge(stamp.x, width), -kMaxOffset, kMaxOffset);
    const long long y = std::clamp(CountFromEdge(stamp.y, height), -kMaxOffset, kMaxOffset);
    DrawStampText(painter, stamp.size, static_cast<int>(x), static_cast<int>(y),
                  Cp932Text(CutCp932(expanded.view(), kMaxStampBytes)), back_color, text_font,
                  text_color);
  }
}

void DrawStampText(QPainter& painter, int size, int x, int y, const Cp932Text& expanded_text,
                   std::optional<std::uint32_t> back_color, const Cp932Text& text_font,
                   std::string_view text_color) {
  const int pixel_size = StampPixelSize(size);
  if (pixel_size < 1 || expanded_text.empty()) return;
  const auto color = ParseColorValue(text_color);
  if (!color) return;
  const QString text = QString::fromStdString(Cp932ToUtf8Replacing(expanded_text));

  painter.save();
  const StampFace face = MakeStampFace(text_font, pixel_size);
  painter.setFont(face.font);
  const QFontMetrics metrics = painter.fontMetrics();
  // The cell spans the text's advance and the font's height, its top-left corner at (x, y).
  if (back_color) {
    const int cell_height = face.em_high_cell ? pixel_size : metrics.height();
    painter.fillRect(QRect(x, y, metrics.horizontalAdvance(text), cell_height),
                     FromColorValue(*back_color));
  }
  painter.setPen(FromColorValue(*color));
  painter.drawText(QPoint(x, y + metrics.ascent()), text);
  painter.restore();
}

}  // namespace velmarin
