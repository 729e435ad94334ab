#include "app/preview_dialog.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include "image/dib.h"
#include "image/dib_editing.h"
#include "support/pictures.h"

namespace velmarin::app {
namespace {

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};
const QColor kArea(230, 200, 200);
const QColor kBack(0x64, 0x64, 0x64);
const QColor kWhite(255, 255, 255);

PreviewContent DefaultContent(int width) {
  const Settings settings = DefaultSettings(Cp932Text("/station"));
  PreviewContent content;
  content.file_name_line = Cp932Text("name line");
  content.text_font = settings[SettingSlot::TextFont];
  content.back_color = settings[SettingSlot::TextBackColor];
  content.text_color = settings[SettingSlot::TextColor];
  content.source_range = settings[SettingSlot::SourceRange];
  content.text_lines = settings[SettingSlot::TextLines];
  content.width = width;
  return content;
}

QImage Painted(const PreviewContent& content, const QFont& font = QFont("IPAPGothic")) {
  QImage image(kPreviewPaintWidth, kPreviewPaintHeight, QImage::Format_RGB32);
  image.fill(Qt::green);
  QPainter painter(&image);
  painter.setFont(font);
  PaintPreview(painter, content, Cp932Text("123"), kNow);
  return image;
}

// The smallest rectangle of `area` holding the pixels for which `match` holds.
QRect Box(const QImage& image, const QRect& area, bool (*match)(const QColor&)) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (match(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

bool IsLight(const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() > 200; }
bool IsDark(const QColor& c) { return c.red() < 80 && c.green() < 80 && c.blue() < 80; }

TEST(PreviewPaintingTest, At720TheDefaultEditLiesOnTheAreaWithWhiteStrips) {
  const QImage image = Painted(DefaultContent(720));
  for (const QPoint p : {QPoint(0, 200), QPoint(19, 200), QPoint(700, 200), QPoint(719, 200),
                         QPoint(300, 0), QPoint(300, 22), QPoint(300, 457), QPoint(300, 479)}) {
    EXPECT_EQ(image.pixelColor(p), kBack) << p.x() << "," << p.y();
  }
  for (const QPoint p : {QPoint(20, 200), QPoint(699, 200), QPoint(300, 23), QPoint(300, 456)}) {
    EXPECT_EQ(image.pixelColor(p), kArea) << p.x() << "," << p.y();
  }
  for (const QPoint p : {QPoint(720, 0), QPoint(799, 479), QPoint(799, 480), QPoint(400, 599)}) {
    EXPECT_EQ(image.pixelColor(p), kWhite) << p.x() << "," << p.y();
  }
  // The glyphs of the two stamps begin right of x 5 and below y 3 and 458, within their bands.
  const QRect top = Box(image, QRect(0, 0, 720, 23), IsLight);
  const QRect bottom = Box(image, QRect(0, 457, 720, 23), IsLight);
  ASSERT_FALSE(top.isEmpty());
  ASSERT_FALSE(bottom.isEmpty());
  EXPECT_GE(top.left(), 5);
  EXPECT_LE(top.left(), 10);
  EXPECT_GE(top.top(), 3);
  EXPECT_LE(top.top(), 8);
  EXPECT_GT(top.width(), 200);
  EXPECT_GE(bottom.left(), 5);
  EXPECT_GE(bottom.top(), 458);
  EXPECT_LE(bottom.top(), 463);
  // The name line is black on white from (1, 480).
  const QRect line = Box(image, QRect(0, 480, 800, 120), IsDark);
  ASSERT_FALSE(line.isEmpty());
  EXPECT_GE(line.left(), 1);
  EXPECT_LE(line.left(), 3);
  EXPECT_LT(line.bottom(), 500);
}

TEST(PreviewPaintingTest, AgreesPixelForPixelWithTheEditOfACapturedPicture) {
  const QImage image = Painted(DefaultContent(720));
  Dib dib = test::PaintPicture(720, 480, [](int, int) { return test::Rgb{230, 200, 200}; });
  EditDibInPlace(dib, DefaultSettings(Cp932Text("/station")), Cp932Text("123"), kNow);
  int differing = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 720; ++x) {
      const test::Rgb edited = test::PixelOf(dib, x, y);
      differing += image.pixelColor(x, y) != QColor(edited.r, edited.g, edited.b);
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST(PreviewPaintingTest, Any640OrOtherWidthPaintsThe640Layout) {
  for (int width : {640, 700}) {
    const QImage image = Painted(DefaultContent(width));
    EXPECT_EQ(image.pixelColor(620, 200), kBack) << width;
    EXPECT_EQ(image.pixelColor(619, 200), kArea) << width;
    EXPECT_EQ(image.pixelColor(640, 100), kWhite) << width;
    EXPECT_EQ(image.pixelColor(719, 200), kWhite) << width;
  }
}

TEST(PreviewPaintingTest, WithoutRangeAndStampsOnlyTheAreaStripsAndLine) {
  PreviewContent content = DefaultContent(720);
  content.source_range.clear();
  content.text_lines.clear();
  const QImage image = Painted(content);
  EXPECT_EQ(Box(image, QRect(0, 0, 720, 480), [](const QColor& c) { return c != kArea; }), QRect());
}

TEST(PreviewDialogTest, TheWholePaintedAreaIsVisibleAndStampsUseTheIdOfThePaint) {
  Cp932Text id = "123";
  LocalTime now = kNow;
  PreviewDialog dialog(DefaultContent(720),
                       PreviewSources{[&id] { return id; }, [&now] { return now; }});
  EXPECT_GE(dialog.width(), kPreviewPaintWidth);
  EXPECT_GE(dialog.height(), kPreviewPaintHeight);
  EXPECT_EQ(dialog.area().size(), QSize(kPreviewPaintWidth, kPreviewPaintHeight));

  const QImage expected = Painted(DefaultContent(720), dialog.area().font());
  const QImage shown = dialog.area().grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, expected);

  // A later paint shows the minute and ID of its own moment.
  now.minute = 6;
  id = "77";
  const QImage later = dialog.area().grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_NE(later, shown);
}

}  // namespace
}  // namespace velmarin::app
