#pragma once

#include <QApplication>
#include <QDialog>
#include <QStringList>
#include <QTest>
#include <QWidget>

namespace velmarin::app {

// Shows `dialog` as the active window, so that the focus and Tab work as for a user.
inline bool ShowActive(QDialog& dialog) {
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  return QTest::qWaitForWindowActive(&dialog);
}

// The object name of the control that has the focus in `window` (a combo's edit field counts as
// its combo).
inline QString FocusedControl(QWidget& window) {
  QWidget* focus = window.focusWidget();
  while (focus != nullptr && focus->objectName().isEmpty()) focus = focus->parentWidget();
  return focus != nullptr ? focus->objectName() : QStringLiteral("(none)");
}

// The controls the focus visits from where it is, pressing Tab `steps` times.
inline QStringList TabVisits(int steps) {
  QStringList names;
  for (int i = 0; i < steps; ++i) {
    names << FocusedControl(*QApplication::activeWindow());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  return names;
}

}  // namespace velmarin::app
