#include "platform/skipped_keys.h"

#include <cstdio>
#include <string>

namespace velmarin {

void SkippedKeys::Report(int virtual_key, std::string_view why, std::string_view japanese_why) {
  const auto bit = static_cast<std::size_t>(virtual_key & 0xFF);
  if (reported_.test(bit)) return;
  reported_.set(bit);
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", virtual_key & 0xFF);
  messages_.ShowOwnMessage(
      {"The key code " + std::string(code) + " " + std::string(why) + "; that key is not sent.",
       "キーコード " + std::string(code) + " は" + std::string(japanese_why) +
           "ため、送りません。"});
}

}  // namespace velmarin
