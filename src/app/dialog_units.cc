#include "app/dialog_units.h"

#include <QFontMetrics>
#include <QString>

#include "image/font_faces.h"

namespace velmarin::app {
namespace {

// Windows' MulDiv for the non-negative values of a layout: rounded to nearest.
int MulDiv(int value, int numerator, int denominator) {
  return static_cast<int>((static_cast<long long>(value) * numerator + denominator / 2) /
                          denominator);
}

}  // namespace

QFont FormFont(std::string_view windows_face_utf8, int points) {
  QFont font;
  font.setFamily(FaceFamily(windows_face_utf8));
  font.setPixelSize(MulDiv(points, 96, 72));
  font.setWeight(QFont::Normal);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width as Windows measures it: the 52 letters, halved and rounded.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // The stand-in faces' cells are one em high, as the Windows faces' are (see FaceFamily).
  return {(letters / 26 + 1) / 2, font.pixelSize()};
}

QRect DialogRect(const DialogBaseUnits& units, int x, int y, int width, int height) {
  return {MulDiv(x, units.average_width, 4), MulDiv(y, units.height, 8),
          MulDiv(width, units.average_width, 4), MulDiv(height, units.height, 8)};
}

}  // namespace velmarin::app
