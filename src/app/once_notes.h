#pragma once

#include <QString>

namespace velmarin::app {

// The notes the window gives only once, ever, for a given subject (a file, say): remembered in
// the window's state file beside its place, under "Notes/<note>" (never in the user's own
// velmarin.conf).
class OnceNotes {
 public:
  // `file` as the PlacementStore's.
  explicit OnceNotes(QString file) : file_(std::move(file)) {}
  // True the first time `note` is asked about `subject`, false ever after.
  bool FirstTime(const QString& note, const QString& subject) const;

 private:
  QString file_;
};

}  // namespace velmarin::app
