#include "app/dialog_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace velmarin::app {
namespace {

constexpr int kComboEditHeight = 12;  // dialog units of a closed combo box
constexpr int kComboItemHeight = 8;
constexpr int kMinTextPixels = 9;  // static texts are never set smaller

// `control` named by its template id, at `rect`.
template <typename Control>
Control* Placed(Control* control, int id, const QRect& rect) {
  control->setObjectName(QString::number(id));
  control->setGeometry(rect);
  return control;
}

}  // namespace

QFont SettingsDialogFont() { return FormFont("ＭＳ Ｐゴシック", 9); }

DialogBuilder::DialogBuilder(QWidget& dialog, int width, int height)
    : dialog_(dialog), units_((dialog.setFont(SettingsDialogFont()), BaseUnitsOf(dialog.font()))) {
  dialog.setFixedSize(Rect(0, 0, width, height).size());
}

void DialogBuilder::Group(const QString& title, int x, int y, int w, int h) {
  auto* group = new QGroupBox(title, &dialog_);
  group->setGeometry(Rect(x, y, w, h));
  group->lower();
}

void DialogBuilder::Static(const QString& text, int x, int y, int w, int h) {
  auto* label = new QLabel(text, &dialog_);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const QRect rect = Rect(x, y, w, h);
  label->setGeometry(rect);
  // The stand-in faces are wider and their lines taller than the Windows faces the rectangles
  // were made for: a text that would not fit is set a little smaller rather than cut off.
  QFont font = label->font();
  while (label->heightForWidth(rect.width()) > rect.height() && font.pixelSize() > kMinTextPixels) {
    font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
  }
}

QLineEdit* DialogBuilder::Edit(int id, int x, int y, int w, int h) {
  return Placed(new QLineEdit(&dialog_), id, Rect(x, y, w, h));
}

QComboBox* DialogBuilder::Combo(int id, int x, int y, int w, int h) {
  auto* combo = Placed(new QComboBox(&dialog_), id, Rect(x, y, w, kComboEditHeight));
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setMaxVisibleItems(std::max(1, (h - kComboEditHeight) / kComboItemHeight));
  return combo;
}

QCheckBox* DialogBuilder::Check(int id, const QString& text, int x, int y, int w, int h) {
  return Placed(new QCheckBox(text, &dialog_), id, Rect(x, y, w, h));
}

QPushButton* DialogBuilder::Button(int id, const QString& text, int x, int y, int w, int h) {
  auto* button = Placed(new QPushButton(text, &dialog_), id, Rect(x, y, w, h));
  button->setAutoDefault(false);
  return button;
}

void ChainTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

QString MaxCharsMessage(int limit) {
  return QStringLiteral("%1 文字（全角は 2 文字分）以内で入力してください。").arg(limit);
}

}  // namespace velmarin::app
