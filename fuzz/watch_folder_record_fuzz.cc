// Feeds arbitrary bytes to the parser of the record a run keeps of its watch folder. What it
// accepts must come out of the record's own writer unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "transfer/watch_folder_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto record = velmarin::WatchFolderRecord::Parse(text, &error);
  if (!record) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  const std::string written = record->Text();
  const auto again = velmarin::WatchFolderRecord::Parse(written, &error);
  if (!again || again->Text() != written) __builtin_trap();
  return 0;
}
