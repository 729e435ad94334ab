#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>

namespace velmarin::app {

// Closes every message box that opens while it lives and keeps the texts they showed, so a
// test can press OK on a dialog that refuses a field.
class MessageBoxCatcher {
 public:
  MessageBoxCatcher();
  const QStringList& texts() const { return texts_; }

 private:
  QTimer timer_;
  QStringList texts_;
};

}  // namespace velmarin::app
