#include "app/combo_text.h"

#include <QComboBox>

namespace velmarin::app {

void SetComboText(QComboBox& combo, const QString& text) {
  const int index = combo.findText(text, Qt::MatchStartsWith);
  if (index >= 0) {
    combo.setCurrentIndex(index);
    combo.setEditText(combo.itemText(index));
  } else {
    combo.setCurrentIndex(-1);
    combo.setEditText(text);
  }
}

void AddSortedEntries(QComboBox& combo, const QStringList& entries) {
  const QString shown = combo.currentText();
  const int current = combo.currentIndex();
  const QString current_entry = current >= 0 ? combo.itemText(current) : QString();
  for (const QString& entry : entries) {
    int place = 0;
    while (place < combo.count() &&
           QString::compare(combo.itemText(place), entry, Qt::CaseInsensitive) <= 0) {
      ++place;
    }
    combo.insertItem(place, entry);
  }
  combo.setCurrentIndex(
      current >= 0 ? combo.findText(current_entry, Qt::MatchExactly | Qt::MatchCaseSensitive) : -1);
  combo.setEditText(shown);
}

}  // namespace velmarin::app
