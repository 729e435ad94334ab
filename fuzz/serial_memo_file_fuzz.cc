// Any bytes as the cache where serial searches start: parsed without harm, and what is
// accepted is written back to the same text and read back to the same starts.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "naming/serial_memo_file.h"
#include "scratch_folder.h"

using velmarin::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto starts = velmarin::ParseSerialStarts(text, 8);
  if (!starts) return 0;
  const std::string again = velmarin::FormatSerialStarts(*starts);
  Require(velmarin::ParseSerialStarts(again, 8) == starts);
  return 0;
}
