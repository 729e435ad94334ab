// Feeds arbitrary bytes to the parser of the journal of stills not yet sent (either form:
// written whole, or a log of records). What it accepts must come out of the journal's own
// writer unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/still_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto stills = velmarin::ParseJournal(text, velmarin::Settings{}, &error);
  if (!stills) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  std::vector<const velmarin::ArrivedStill*> pointers;
  for (const velmarin::ArrivedStill& still : *stills) pointers.push_back(&still);
  const auto again =
      velmarin::ParseJournal(velmarin::JournalText(pointers), velmarin::Settings{}, &error);
  if (!again || again->size() != stills->size()) __builtin_trap();
  for (std::size_t i = 0; i < stills->size(); ++i) {
    if (!((*again)[i].identity == (*stills)[i].identity) || (*again)[i].path != (*stills)[i].path ||
        (*again)[i].binding.capture_id != (*stills)[i].binding.capture_id ||
        (*again)[i].claimed != (*stills)[i].claimed) {
      __builtin_trap();
    }
  }
  return 0;
}
