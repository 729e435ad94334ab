#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <filesystem>

#include "app/window_placement.h"

namespace velmarin::app {

// Shows `dialog` as the active window, so that the focus and Tab work as for a user.
inline bool ShowActive(QDialog& dialog) {
  dialog.show();
  dialog.activateWindow();
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

// The control of `window` named by its template id; a missing one fails the test.
template <typename Control>
Control& FindControl(QWidget& window, const char* id) {
  auto* control = window.findChild<Control*>(QString::fromLatin1(id));
  EXPECT_NE(control, nullptr) << id;
  return *control;
}

// Whether a program run with XDG_STATE_HOME at `state_home` saved its window's place. (Not
// restored here: restoreGeometry refuses a place saved on a screen of another width.)
inline bool PlacementStored(const std::filesystem::path& state_home) {
  return !PlacementStore(QString::fromStdString((state_home / "velmarin" / "window.ini").string()))
              .Load()
              .isEmpty();
}

}  // namespace velmarin::app
