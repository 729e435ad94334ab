#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace velmarin::app {

// Qt's own texts (the buttons of message boxes, the folder browser, the file dialogs) in
// Japanese, like the rest of the window, whatever the session's language: Qt's translations
// of qt6-translations-l10n. Once per process; false when they are not installed.
bool InstallQtJapanese();

// Qt's own file dialog made readable: the detail view, wide enough that its columns are not
// cut, the name column taking the room left, the places on the left whole. A dialog the
// desktop draws itself is left alone.
void FitFileDialog(QFileDialog& dialog);

// Makes `dialog` the folder browser: folders only.
void MakeFolderBrowser(QFileDialog& dialog);

// The folder browser and the file dialogs of the window, through FitFileDialog; an empty
// string when cancelled.
QString ChooseExistingFolder(QWidget* parent, const QString& title);
QString ChooseFileToOpen(QWidget* parent);
QString ChooseFileToSave(QWidget* parent);  // asks before overwriting

// Places `box` centred over the window of `over` (its frame as the window system last told
// it), at the size it has now: a message box takes its size as it is shown.
void CentreOver(QWidget& box, const QWidget& over);

}  // namespace velmarin::app
