#pragma once

#include <bitset>
#include <string_view>

#include "base/message_sink.h"

namespace velmarin {

// Tells once per key code that a key cannot be sent, so a switch pressed all day does not
// repeat the same message. The caller serialises calls.
class SkippedKeys {
 public:
  explicit SkippedKeys(MessageSink& messages) : messages_(messages) {}

  // "The key code 0xNN WHY; that key is not sent.", the first time for each code; the window
  // says "キーコード 0xNN は" JAPANESE_WHY "ため、送りません。".
  void Report(int virtual_key, std::string_view why, std::string_view japanese_why);

 private:
  MessageSink& messages_;
  std::bitset<256> reported_;
};

}  // namespace velmarin
