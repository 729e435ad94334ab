#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <initializer_list>

#include "app/dialog_units.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace velmarin::app {

// The settings dialogs' font: "ＭＳ Ｐゴシック" 9 point.
QFont SettingsDialogFont();

// Lays out a settings dialog: gives it the dialog font and puts each control at its rectangle
// in dialog units. `id` becomes the object name of the controls that have one.
class DialogBuilder {
 public:
  // Sizes `dialog` to `width` x `height` dialog units.
  DialogBuilder(QWidget& dialog, int width, int height);

  QRect Rect(int x, int y, int w, int h) const { return DialogRect(units_, x, y, w, h); }

  void Group(const QString& title, int x, int y, int w, int h);
  // A static text; "\n" breaks the line and long lines wrap.
  void Static(const QString& text, int x, int y, int w, int h);
  QLineEdit* Edit(int id, int x, int y, int w, int h);
  // An editable combo box; `h` is the height of the open list.
  QComboBox* Combo(int id, int x, int y, int w, int h);
  QCheckBox* Check(int id, const QString& text, int x, int y, int w, int h);
  QPushButton* Button(int id, const QString& text, int x, int y, int w, int h);

 private:
  QWidget& dialog_;
  DialogBaseUnits units_;
};

// Tab from each widget to the next, in the order given.
void ChainTabOrder(std::initializer_list<QWidget*> widgets);

// The framework's message for a text longer than `limit` bytes.
QString MaxCharsMessage(int limit);

}  // namespace velmarin::app
