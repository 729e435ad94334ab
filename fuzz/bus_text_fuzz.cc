// Feeds arbitrary bytes to what reads an ID from the session bus (the checks of a typed ID)
// and to what makes the bus's strings out of file names (valid UTF-8, whatever the name).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "control/capture_id.h"
#include "platform/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  velmarin::TypedTextError error{};
  if (const auto id = velmarin::CaptureIdFromTyped(bytes, &error)) {
    // Taken whole: at most ten bytes, and it reads back as the text given ("0" for none).
    if (id->empty() || id->size() > velmarin::kCaptureIdMaxBytes) __builtin_trap();
    const auto back = velmarin::Cp932ToUtf8(*id);
    if (!back || *back != (bytes.empty() ? std::string_view("0") : bytes)) __builtin_trap();
  }
  const std::string utf8 = velmarin::Utf8Replacing(bytes);
  // Valid UTF-8 comes back unchanged, and what comes back is valid UTF-8.
  if (velmarin::Utf8Replacing(utf8) != utf8) __builtin_trap();
  return 0;
}
