#include "app/message_boxes.h"

#include <QMessageBox>

#include <cstdio>
#include <string>

#include "app/qt_text.h"
#include "base/message_subject.h"

namespace velmarin::app {

void MessageBoxes::ShowMessage(const Cp932Text& text) {
  // A message about a still names it: the reporter's subject, taken on its own thread.
  const std::string subject = MessageSubject();
  QString message = FromCp932(text);
  if (detached_) {
    PrintMessageLine(subject, message.toStdString());
    return;
  }
  if (!subject.empty()) message += QStringLiteral("\n\n") + QString::fromStdString(subject);
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
