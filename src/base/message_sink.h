#pragma once

#include <string_view>

namespace velmarin {

// Where a message box goes. Worker threads hand their messages over without waiting: the
// window shows them on the user-interface thread, headless runs print them on stderr.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // `text` is code page 932, as the program's own messages are.
  virtual void ShowMessage(std::string_view text) = 0;
};

}  // namespace velmarin
