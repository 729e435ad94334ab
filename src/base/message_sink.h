#pragma once

#include "base/cp932_text.h"
#include "base/own_message.h"

namespace velmarin {

// Where a message box goes. Worker threads hand their messages over without waiting: the
// window shows them on the user-interface thread, headless runs print them on stderr.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(const Cp932Text& text) = 0;
  // A message with a wording for each front end: the window shows the Japanese one.
  virtual void ShowOwnMessage(const OwnMessage& message) = 0;
};

}  // namespace velmarin
