#include "app/combo_text.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

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

void ShowEntriesWhole(QComboBox& combo) {
  QAbstractItemView* list = combo.view();
  int widest = 0;
  for (int i = 0; i < combo.count(); ++i) {
    combo.setItemData(i, combo.itemText(i), Qt::ToolTipRole);
    widest = std::max(widest, list->fontMetrics().horizontalAdvance(combo.itemText(i)));
  }
  // The text, the item's margins and the scroll bar beside it.
  const int margins = 4 * combo.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) +
                      2 * list->frameWidth() + list->verticalScrollBar()->sizeHint().width() + 8;
  list->setMinimumWidth(std::max(combo.width(), widest + margins));
  combo.setToolTip(combo.currentText());
  QObject::connect(&combo, &QComboBox::currentTextChanged, &combo,
                   [&combo](const QString& text) { combo.setToolTip(text); });
}

}  // namespace velmarin::app
