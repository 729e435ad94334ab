#include "app/preview_dialog.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QVBoxLayout>

#include "app/dialog_controls.h"
#include "app/dialog_units.h"
#include "app/qt_text.h"
#include "image/stamping.h"

namespace velmarin::app {
namespace {

QColor PictureColor() {
  return QColor(kPreviewPictureColor & 0xFF, (kPreviewPictureColor >> 8) & 0xFF,
                (kPreviewPictureColor >> 16) & 0xFF);
}

}  // namespace

void PaintPreview(QPainter& painter, const PreviewContent& content, const Cp932Text& capture_id,
                  const LocalTime& now) {
  const int width = content.width == 720 ? 720 : 640;
  const int height = kPreviewPictureHeight;
  painter.fillRect(0, 0, width, height, PictureColor());
  ApplyRangeAndStamps(painter, width, height, content.source_range.view(), content.text_lines,
                      content.text_font, content.back_color.view(), content.text_color.view(),
                      capture_id, now);
  painter.fillRect(width, 0, kPreviewPaintWidth - width, height, Qt::white);
  painter.fillRect(0, height, kPreviewPaintWidth, kPreviewPaintHeight - height, Qt::white);

  const QString line = FromCp932(content.file_name_line);
  const QFontMetrics metrics = painter.fontMetrics();
  painter.fillRect(1, height, metrics.horizontalAdvance(line), metrics.height(), Qt::white);
  painter.setPen(Qt::black);
  painter.drawText(QPoint(1, height + metrics.ascent()), line);
}

PreviewArea::PreviewArea(PreviewContent content, PreviewSources sources, QWidget* parent)
    : QWidget(parent), content_(std::move(content)), sources_(std::move(sources)) {
  setFixedSize(kPreviewPaintWidth, kPreviewPaintHeight);
}

QSize PreviewArea::sizeHint() const { return QSize(kPreviewPaintWidth, kPreviewPaintHeight); }

void PreviewArea::SetFileNameLine(Cp932Text line) {
  content_.file_name_line = std::move(line);
  update();
}

void PreviewArea::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  // The stamps show the ID and the clock of this paint.
  PaintPreview(painter, content_, sources_.capture_id(), sources_.now());
}

PreviewDialog::PreviewDialog(PreviewContent content, PreviewSources sources, QWidget* parent)
    : QDialog(parent), area_(new PreviewArea(std::move(content), std::move(sources), this)) {
  setWindowTitle(QStringLiteral("転送される編集画像の確認、転送ファイル名の確認"));
  setFont(SettingsDialogFont());
  // 415 x 333 dialog units are only about 620 x 500 pixels; the client area is made large
  // enough for the whole painted area instead, so nothing of it is cut off.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(area_);
  const QSize template_size = DialogRect(BaseUnitsOf(font()), 0, 0, 415, 333).size();
  setFixedSize(template_size.expandedTo(QSize(kPreviewPaintWidth, kPreviewPaintHeight)));
}

}  // namespace velmarin::app
