#include "app/once_notes.h"

#include <QSettings>
#include <QStringList>

namespace velmarin::app {

bool OnceNotes::FirstTime(const QString& note, const QString& subject) const {
  QSettings settings(file_, QSettings::IniFormat);
  const QString key = QStringLiteral("Notes/") + note;
  QStringList given = settings.value(key).toStringList();
  if (given.contains(subject)) return false;
  given.append(subject);
  settings.setValue(key, given);
  return true;
}

}  // namespace velmarin::app
