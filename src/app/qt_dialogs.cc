#include "app/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QListView>
#include <QLocale>
#include <QSplitter>
#include <QTranslator>
#include <QTreeView>

#include <map>
#include <string_view>

namespace velmarin::app {
namespace {

// Qt's own file dialog at a size its Japanese column heads and dates fit in, in pixels.
constexpr int kFileDialogWidth = 720;
constexpr int kFileDialogHeight = 440;

// What Qt's Japanese translation of this release lacks in the dialogs the window shows: the
// file dialogs' type column names folders and drives in a context of its own.
class MissingQtTexts final : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                    int /*n*/) const override {
    static const std::map<std::string_view, const char*> kTexts = {
        {"Folder", "フォルダー"},       {"Drive", "ドライブ"}, {"File", "ファイル"},
        {"Shortcut", "ショートカット"}, {"Unknown", "不明"},
    };
    if (context == nullptr || source == nullptr ||
        std::string_view(context) != "QAbstractFileIconProvider") {
      return {};
    }
    const auto text = kTexts.find(source);
    return text == kTexts.end() ? QString() : QString::fromUtf8(text->second);
  }
};

// The file dialog's modification dates in the window's language: the model writes them in
// the session's.
class JapaneseDates final : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (files == nullptr || role != Qt::DisplayRole || index.column() != kModifiedColumn) {
      return QIdentityProxyModel::data(index, role);
    }
    return QLocale().toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
  }

 private:
  static constexpr int kModifiedColumn = 3;
};

QString RunFileDialog(QFileDialog& dialog) {
  FitFileDialog(dialog);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

}  // namespace

bool InstallQtJapanese() {
  static QTranslator* translator = nullptr;
  if (translator != nullptr) return true;
  const QLocale japanese(QLocale::Japanese, QLocale::Japan);
  // Dates and the file types of the file dialogs in Japanese too.
  QLocale::setDefault(japanese);
  auto* loaded = new QTranslator(qApp);
  if (!loaded->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete loaded;
    return false;
  }
  QApplication::installTranslator(loaded);
  // Looked in first; what it does not know goes on to Qt's own.
  QApplication::installTranslator(new MissingQtTexts(qApp));
  translator = loaded;
  return true;
}

void FitFileDialog(QFileDialog& dialog) {
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (view == nullptr) return;  // the desktop's own dialog
  dialog.setProxyModel(new JapaneseDates(&dialog));
  dialog.setViewMode(QFileDialog::Detail);
  dialog.resize(dialog.size().expandedTo(QSize(kFileDialogWidth, kFileDialogHeight)));
  QHeaderView* header = view->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
  // The places on the left ("コンピューター", the home folder) whole.
  auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
  auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
  if (sidebar == nullptr || splitter == nullptr) return;
  const int places = sidebar->sizeHintForColumn(0) + 2 * sidebar->frameWidth() +
                     sidebar->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  splitter->setSizes({places, dialog.width() - places});
}

void MakeFolderBrowser(QFileDialog& dialog) {
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
}

QString ChooseExistingFolder(QWidget* parent, const QString& title) {
  QFileDialog dialog(parent, title);
  MakeFolderBrowser(dialog);
  return RunFileDialog(dialog);
}

QString ChooseFileToOpen(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return RunFileDialog(dialog);
}

QString ChooseFileToSave(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  return RunFileDialog(dialog);
}

void CentreOver(QWidget& box, const QWidget& over) {
  const QWidget* window = over.window();
  QRect placed(QPoint(), box.frameGeometry().size());
  placed.moveCenter(window->frameGeometry().center());
  box.move(placed.topLeft());
}

}  // namespace velmarin::app
