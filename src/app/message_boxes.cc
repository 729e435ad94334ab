#include "app/message_boxes.h"

#include <QMessageBox>

#include <cstdio>
#include <string>

#include "app/qt_dialogs.h"
#include "app/qt_text.h"
#include "base/message_subject.h"

namespace velmarin::app {

void MessageBoxes::ShowMessage(const Cp932Text& text) {
  // A message about a still names it: the reporter's subject, taken on its own thread.
  const std::string subject = MessageSubject();
  if (detached_) {
    PrintMessageLine(subject, FromCp932(text).toStdString());
    return;
  }
  Hand(FromCp932(text), subject);
}

void MessageBoxes::ShowOwnMessage(const OwnMessage& message) {
  const std::string subject = MessageSubject();
  if (detached_) {
    PrintMessageLine(subject, message.english);
    return;
  }
  Hand(QString::fromStdString(message.japanese), subject);
}

void MessageBoxes::Hand(const QString& text, const std::string& subject) {
  QString message = text;
  if (!subject.empty()) message += QStringLiteral("\n\n") + QString::fromStdString(subject);
  QMetaObject::invokeMethod(
      this, [this, message] { Show(message); }, Qt::QueuedConnection);
}

void MessageBoxes::ShowNote(const QString& text) {
  QMetaObject::invokeMethod(
      this, [this, text] { Show(text, true); }, Qt::QueuedConnection);
}

void MessageBoxes::WindowExposed() {
  exposed_ = true;
  for (const auto& [text, note] : std::exchange(pending_, {})) Show(text, note);
}

void MessageBoxes::Show(const QString& text, bool note) {
  if (detached_ || window_.isNull()) {
    std::fprintf(stderr, "velmarin: %s\n", text.toLocal8Bit().constData());
    return;
  }
  if (!exposed_) {
    // Before the window system has placed the window a box would open where the window is not
    // (at the screen's edge): it waits.
    pending_.append({text, note});
    return;
  }
  // Window-modal but not blocking: several reports give several boxes, and the timer and the
  // threads go on meanwhile.
  auto* box = new QMessageBox(note ? QMessageBox::Information : QMessageBox::Warning,
                              QStringLiteral("Velmarin"), text, QMessageBox::Ok, window_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
  // Over the window, placed as the box has sized itself to show.
  CentreOver(*box, *window_);
}

}  // namespace velmarin::app
