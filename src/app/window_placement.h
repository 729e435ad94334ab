#pragma once

#include <QByteArray>
#include <QString>

namespace velmarin::app {

// The main window's place as QWidget::saveGeometry gives it, kept as "Settings/Window" in the
// user's configuration ("~/.config/velmarin/velmarin.conf") or in the file named (tests).
// restoreGeometry refuses a value it did not write, such as an older program's record, or one
// saved on a screen more than a quarter wider or narrower, and moves a window whose monitor has
// gone onto one that is there.
class PlacementStore {
 public:
  explicit PlacementStore(QString file = {});
  // Empty when nothing was saved.
  QByteArray Load() const;
  void Save(const QByteArray& geometry) const;
  // The configuration file it keeps the place in.
  const QString& file() const { return file_; }

 private:
  QString file_;
};

}  // namespace velmarin::app
