#include "app/message_boxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>

namespace velmarin::test {
namespace {

QMessageBox* ShownBox() {
  QCoreApplication::processEvents();
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) return box;
  }
  return nullptr;
}

// A message raised before the window system has shown the window (one of the start-up's) waits
// for it, rather than open where the window is not yet; then it opens centred over it.
TEST(MessageBoxes, BoxesWaitForTheWindowAndOpenCentredOverIt) {
  QWidget window;
  window.setGeometry(400, 300, 300, 400);
  app::MessageBoxes messages;
  messages.SetParentWindow(&window);
  messages.ShowOwnMessage({"cannot read velmarin.ini", "設定ファイルを読めません"});
  EXPECT_EQ(ShownBox(), nullptr);

  window.show();
  messages.WindowExposed();
  QMessageBox* box = ShownBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), QStringLiteral("設定ファイルを読めません"));
  const QPoint offset = box->frameGeometry().center() - window.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
  box->close();
}

}  // namespace
}  // namespace velmarin::test
