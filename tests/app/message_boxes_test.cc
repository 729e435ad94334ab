#include "app/message_boxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>

#include "base/message_subject.h"

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

// A box still waiting when the window closes prints as the messages after the close do: the
// still it is about, then the English wording, on one line.
TEST(MessageBoxes, ABoxWaitingWhenTheWindowClosesPrintsAsALine) {
  QWidget window;
  app::MessageBoxes messages;
  messages.SetParentWindow(&window);
  {
    const ScopedMessageSubject subject("/watch/cap1.jpg");
    messages.ShowOwnMessage({"the still cannot be read", "画像を読めません"});
  }
  messages.Detach();
  ::testing::internal::CaptureStderr();
  QCoreApplication::processEvents();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "velmarin: /watch/cap1.jpg: the still cannot be read\n");
  EXPECT_EQ(ShownBox(), nullptr);
}

}  // namespace
}  // namespace velmarin::test
