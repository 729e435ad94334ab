#include "image/dib_editing.h"

#include <QImage>
#include <QPainter>
#include <QTransform>

#include <cstring>

#include "image/stamping.h"

namespace velmarin {
namespace {

// Copies picture rows `first` to `first` + strip height - 1 between the bottom-up Dib and
// the upright strip.
void CopyRows(Dib& dib, QImage& strip, int first, bool into_strip) {
  const std::size_t bytes = static_cast<std::size_t>(dib.width()) * 3;
  for (int r = 0; r < strip.height(); ++r) {
    std::uint8_t* dib_row = dib.row(dib.height() - 1 - (first + r));
    std::uint8_t* strip_row = strip.scanLine(r);
    if (into_strip) {
      std::memcpy(strip_row, dib_row, bytes);
    } else {
      std::memcpy(dib_row, strip_row, bytes);
    }
  }
}

}  // namespace

bool EditDibInPlace(Dib& dib, const Settings& settings, const Cp932Text& capture_id,
                    const LocalTime& now) {
  const int width = dib.width();
  const int height = dib.height();
  const auto back = ParseColorValue(settings[SettingSlot::TextBackColor].view());

  // The bands are plain rectangles: they are filled straight into the bottom-up rows through
  // a vertical flip, which maps whole pixels onto whole pixels. The surface uses the Dib's
  // own stride, so any width works, and no copy of the picture is made.
  {
    QImage rows(dib.pixels(), width, height, static_cast<qsizetype>(dib.stride()),
                QImage::Format_BGR888);
    QPainter painter(&rows);
    painter.setTransform(QTransform(1, 0, 0, -1, 0, height));
    FillOutsideRange(painter, width, height, settings[SettingSlot::SourceRange].view(), back);
  }

  // Glyphs are drawn upright, as everywhere else, on copies of just the rows they can reach.
  const Cp932Text& text_lines = settings[SettingSlot::TextLines];
  if (text_lines.empty()) return true;
  for (const RowSpan& span : StampRowSpans(text_lines, height)) {
    QImage strip(width, span.last - span.first, QImage::Format_BGR888);
    if (strip.isNull()) return false;  // no memory for it
    CopyRows(dib, strip, span.first, /*into_strip=*/true);
    {
      QPainter painter(&strip);
      painter.translate(0, -span.first);
      DrawTextStamps(painter, text_lines, width, height, back, settings[SettingSlot::TextFont],
                     settings[SettingSlot::TextColor].view(), capture_id, now);
    }
    CopyRows(dib, strip, span.first, /*into_strip=*/false);
  }
  return true;
}

}  // namespace velmarin
