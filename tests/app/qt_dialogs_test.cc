#include "app/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QHeaderView>
#include <QListView>
#include <QSplitter>
#include <QTest>
#include <QTreeView>

#include <filesystem>

#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

// Qt's own folder browser speaks Japanese, also where its translation has gaps (the type of a
// folder, the dates of the session's language), and its columns fit their contents.
TEST(QtDialogs, FolderBrowserIsJapaneseWithColumnsThatFit) {
  ASSERT_TRUE(app::InstallQtJapanese()) << "qt6-translations-l10n is a dependency";
  TempDir dir;
  std::filesystem::create_directory(dir / "stills");
  QFileDialog browser(nullptr, QStringLiteral("監視フォルダ"));
  app::MakeFolderBrowser(browser);
  // The places as narrow as a width Qt kept from an earlier dialog may make them.
  auto* splitter = browser.findChild<QSplitter*>(QStringLiteral("splitter"));
  ASSERT_NE(splitter, nullptr);
  splitter->setSizes({30, 690});
  app::FitFileDialog(browser);
  browser.setDirectory(QString::fromStdString(dir.path().string()));
  auto* view = browser.findChild<QTreeView*>(QStringLiteral("treeView"));
  ASSERT_NE(view, nullptr);
  EXPECT_GE(browser.width(), 720);
  EXPECT_EQ(view->header()->sectionResizeMode(3), QHeaderView::ResizeToContents);
  EXPECT_EQ(view->header()->sectionResizeMode(0), QHeaderView::Stretch);
  // The places on the left are not cut either.
  auto* sidebar = browser.findChild<QListView*>(QStringLiteral("sidebar"));
  ASSERT_NE(sidebar, nullptr);
  browser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
  for (int row = 0; row < sidebar->model()->rowCount(); ++row) {
    const QModelIndex place = sidebar->model()->index(row, 0);
    EXPECT_GE(sidebar->viewport()->width(), sidebar->sizeHintForIndex(place).width())
        << place.data().toString().toStdString();
  }
  browser.hide();

  QAbstractItemModel* model = view->model();
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("名前"));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return model->rowCount(view->rootIndex()) == 1 && view->rootIndex().isValid(); },
      5000));
  const QModelIndex folder = model->index(0, 0, view->rootIndex());
  EXPECT_EQ(folder.data().toString(), QStringLiteral("stills"));
  EXPECT_EQ(folder.siblingAtColumn(2).data().toString(), QStringLiteral("フォルダー"));
  const QDateTime modified =
      QFileInfo(QString::fromStdString((dir / "stills").string())).lastModified();
  EXPECT_EQ(folder.siblingAtColumn(3).data().toString(),
            QLocale(QLocale::Japanese, QLocale::Japan).toString(modified, QLocale::ShortFormat));
}

}  // namespace
}  // namespace velmarin::test
