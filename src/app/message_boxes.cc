#include "app/message_boxes.h"

#include <QMessageBox>

#include <cstdio>
#include <string>

#include "app/qt_text.h"

namespace velmarin::app {

void MessageBoxes::ShowMessage(std::string_view text) {
  const QString message = FromCp932(text);
  if (detached_) {
    std::fprintf(stderr, "velmarin: %s\n", message.toLocal8Bit().constData());
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, message] { Show(message); }, Qt::QueuedConnection);
}

void MessageBoxes::Show(const QString& text) {
  if (detached_ || window_.isNull()) {
    std::fprintf(stderr, "velmarin: %s\n", text.toLocal8Bit().constData());
    return;
  }
  // Window-modal but not blocking: several reports give several boxes, and the timer and the
  // threads go on meanwhile.
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Velmarin"), text,
                              QMessageBox::Ok, window_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace velmarin::app
