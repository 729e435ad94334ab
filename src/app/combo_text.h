#pragma once

#include <QString>
#include <QStringList>

class QComboBox;

namespace velmarin::app {

// Editable combo boxes whose list is kept sorted, as the settings dialogs use them.

// A value transferred into the combo: the first entry that begins with `text`, ignoring case,
// is selected; without one, `text` stands in the edit field.
void SetComboText(QComboBox& combo, const QString& text);

// Adds `entries` to the list in sorted place (ignoring case). The edit field keeps its text:
// filling the list never changes what the combo shows.
void AddSortedEntries(QComboBox& combo, const QStringList& entries);

// Lets every entry be read whole however narrow the combo: the drop-down list is as wide as
// its longest entry, and each entry, and the combo itself, has its text as its tooltip.
void ShowEntriesWhole(QComboBox& combo);

}  // namespace velmarin::app
