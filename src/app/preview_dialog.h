#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>
#include <string>

#include "base/cp932_text.h"
#include "naming/local_time.h"

class QPainter;

namespace velmarin::app {

// What the preview shows: copies of the values typed in the naming dialog (code page 932, in
// the form of their settings) and the line under the picture area.
struct PreviewContent {
  Cp932Text file_name_line;
  Cp932Text text_font;
  Cp932Text back_color;
  Cp932Text text_color;
  Cp932Text source_range;
  Cp932Text text_lines;  // stamps joined by commas
  int width = 640;       // 720 paints the 720 layout, anything else the 640 one
};

// Where the stamps get "$i" and the date and time from, read at every paint.
struct PreviewSources {
  std::function<Cp932Text()> capture_id;
  std::function<LocalTime()> now;
};

// The painted area: the picture's stand-in, the strips beside and below it, the name line.
inline constexpr int kPreviewPaintWidth = 800;
inline constexpr int kPreviewPaintHeight = 600;
inline constexpr int kPreviewPictureHeight = 480;
// The colour that stands for the picture (red 230, green 200, blue 200).
inline constexpr unsigned kPreviewPictureColor = 0xC8C8E6;

// Paints the preview: the area of the picture's size in kPreviewPictureColor, the range fill
// and the stamps by the same code that edits captured images, white beside and below it, and
// the file-name line at (1, 480) in the painter's font.
void PaintPreview(QPainter& painter, const PreviewContent& content, const Cp932Text& capture_id,
                  const LocalTime& now);

// The widget the preview paints on, 800 x 600 pixels.
class PreviewArea : public QWidget {
 public:
  PreviewArea(PreviewContent content, PreviewSources sources, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  const PreviewContent& content() const { return content_; }
  // The line under the picture area, once it is known (code page 932); repaints.
  void SetFileNameLine(Cp932Text line);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PreviewContent content_;
  PreviewSources sources_;
};

// "転送される編集画像の確認、転送ファイル名の確認": shows the preview until it is closed. Its
// client area holds the whole painted area.
class PreviewDialog : public QDialog {
 public:
  PreviewDialog(PreviewContent content, PreviewSources sources, QWidget* parent = nullptr);
  PreviewArea& area() { return *area_; }

 private:
  PreviewArea* area_;
};

}  // namespace velmarin::app
