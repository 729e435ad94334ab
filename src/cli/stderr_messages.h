#pragma once

#include <string_view>

#include "base/message_sink.h"

namespace velmarin::cli {

// Messages of a run without a window: one line each on stderr, "velmarin: " in front, then
// the image or path the message is about, in UTF-8. Worker threads may report at the same
// time; lines never mix.
class StderrMessages final : public MessageSink {
 public:
  // The line names the calling thread's MessageSubject, if any.
  void ShowMessage(const Cp932Text& text) override;
  // Its English wording.
  void ShowOwnMessage(const OwnMessage& message) override;
  // The same about `subject` (UTF-8), from whichever thread.
  void ShowMessageAbout(std::string_view subject, const Cp932Text& text);
};

}  // namespace velmarin::cli
