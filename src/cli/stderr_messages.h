#pragma once

#include <mutex>
#include <string_view>

#include "base/message_sink.h"

namespace velmarin::cli {

// Messages of a run without a window: one line each on stderr, "velmarin: " in front, in
// UTF-8. Worker threads may report at the same time; lines never mix.
class StderrMessages final : public MessageSink {
 public:
  void ShowMessage(std::string_view text) override;

 private:
  std::mutex mutex_;
};

}  // namespace velmarin::cli
