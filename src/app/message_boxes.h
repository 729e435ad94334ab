#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <string>

#include "base/message_sink.h"

namespace velmarin::app {

// Messages as message boxes, shown by the user-interface thread. Any thread may report: the
// text is handed over and the reporter goes on at once, never waiting for the box. Once the
// window has gone (shutdown), messages go to stderr.
class MessageBoxes final : public QObject, public MessageSink {
 public:
  void SetParentWindow(QWidget* window) {
    window_ = window;
    detached_ = false;
  }
  void ShowMessage(const Cp932Text& text) override;
  // The Japanese wording; the English one on stderr once the window has gone.
  void ShowOwnMessage(const OwnMessage& message) override;
  // A note (not a warning) of the window's own, shown the same way.
  void ShowNote(const QString& text);
  // After this, messages go to stderr.
  void Detach() { detached_ = true; }
  // The window is on screen, where the window system put it: boxes held back until then (the
  // messages of the start-up) are shown now, over it.
  void WindowExposed();

 private:
  // One box: its text, the image it is about (UTF-8, may be empty) and its line on stderr
  // should the window be gone before it is shown.
  struct Box {
    QString text;
    std::string subject;
    std::string line;
    bool note = false;
  };
  // Hands `box` to the user-interface thread.
  void Hand(Box box);
  void Show(const Box& box);

  QPointer<QWidget> window_;
  std::atomic<bool> detached_{false};
  bool exposed_ = false;  // user-interface thread only, as pending_
  QList<Box> pending_;
};

}  // namespace velmarin::app
