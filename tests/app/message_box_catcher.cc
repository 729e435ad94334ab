#include "app/message_box_catcher.h"

#include <QApplication>
#include <QMessageBox>

namespace velmarin::app {

MessageBoxCatcher::MessageBoxCatcher() {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      texts_ << box->text();
      box->done(QMessageBox::Ok);
    }
  });
  timer_.start();
}

}  // namespace velmarin::app
