#pragma once

#include "base/cp932_text.h"

namespace velmarin {

// Where a message box goes. Worker threads hand their messages over without waiting: the
// window shows them on the user-interface thread, headless runs print them on stderr.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(const Cp932Text& text) = 0;
};

}  // namespace velmarin
