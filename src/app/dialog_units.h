#pragma once

#include <QFont>
#include <QRect>

#include <string_view>

namespace velmarin::app {

// A form's layout unit, as Windows derives it from the form's font: a horizontal dialog unit
// is a quarter of the font's average character width, a vertical one an eighth of its height.
struct DialogBaseUnits {
  int average_width = 0;  // pixels
  int height = 0;         // pixels
};

// The font of a form: the Windows face through the installed stand-ins, `points` at the
// desktop's 96 pixels per inch.
QFont FormFont(std::string_view windows_face_utf8, int points);
DialogBaseUnits BaseUnitsOf(const QFont& font);
// A rectangle in dialog units as pixels.
QRect DialogRect(const DialogBaseUnits& units, int x, int y, int width, int height);

}  // namespace velmarin::app
