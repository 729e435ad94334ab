#pragma once

#include <QByteArray>
#include <QString>

namespace velmarin::app {

// The main window's place as QWidget::saveGeometry gives it, kept as "Settings/Window" in a
// state file of its own ("window.ini" in UserStateFolder()), so the user's velmarin.conf is
// never rewritten. While no state file exists, the place an earlier version kept in
// velmarin.conf is read (never written). restoreGeometry refuses a value it did not write,
// such as an older program's record, or one saved on a screen more than a quarter wider or
// narrower, and moves a window whose monitor has gone onto one that is there.
class PlacementStore {
 public:
  // The user's state file, and velmarin.conf as the earlier place.
  PlacementStore();
  // The files named (tests); no earlier place when `earlier_file` is empty.
  explicit PlacementStore(QString state_file, QString earlier_file = {});
  // Empty when nothing was saved.
  QByteArray Load() const;
  // Makes the state file's folder when missing.
  void Save(const QByteArray& geometry) const;
  // The state file it keeps the place in, where the window keeps its other notes too.
  const QString& file() const { return state_file_; }

 private:
  QString state_file_;
  QString earlier_file_;
};

}  // namespace velmarin::app
