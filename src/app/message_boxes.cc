#include "app/message_boxes.h"

#include <QMessageBox>

#include <string>
#include <utility>

#include "app/qt_dialogs.h"
#include "app/qt_text.h"
#include "base/message_subject.h"

namespace velmarin::app {

void MessageBoxes::ShowMessage(const Cp932Text& text) {
  // A message about a still names it: the reporter's subject, taken on its own thread.
  const QString shown = FromCp932(text);
  Hand({shown, MessageSubject(), shown.toStdString()});
}

void MessageBoxes::ShowOwnMessage(const OwnMessage& message) {
  Hand({QString::fromStdString(message.japanese), MessageSubject(), message.english});
}

void MessageBoxes::ShowNote(const QString& text) { Hand({text, {}, text.toStdString(), true}); }

void MessageBoxes::Hand(Box box) {
  if (detached_) {
    PrintMessageLine(box.subject, box.line);
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, box = std::move(box)] { Show(box); }, Qt::QueuedConnection);
}

void MessageBoxes::WindowExposed() {
  exposed_ = true;
  for (const Box& box : std::exchange(pending_, {})) Show(box);
}

void MessageBoxes::Show(const Box& box) {
  // A box handed over before the window went prints as the messages after it do.
  if (detached_ || window_.isNull()) {
    PrintMessageLine(box.subject, box.line);
    return;
  }
  if (!exposed_) {
    // Before the window system has placed the window a box would open where the window is not
    // (at the screen's edge): it waits.
    pending_.append(box);
    return;
  }
  QString text = box.text;
  if (!box.subject.empty()) text += QStringLiteral("\n\n") + QString::fromStdString(box.subject);
  // Window-modal but not blocking: several reports give several boxes, and the timer and the
  // threads go on meanwhile.
  auto* shown = new QMessageBox(box.note ? QMessageBox::Information : QMessageBox::Warning,
                                QStringLiteral("Velmarin"), text, QMessageBox::Ok, window_);
  shown->setAttribute(Qt::WA_DeleteOnClose);
  shown->open();
  // Over the window, placed as the box has sized itself to show.
  CentreOver(*shown, *window_);
}

}  // namespace velmarin::app
