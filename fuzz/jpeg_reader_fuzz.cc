// Feeds arbitrary bytes to the JPEG decoder as a file.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/jpeg_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  const std::optional<velmarin::Dib> dib = velmarin::ReadJpegToDib(file);
  std::fclose(file);
  if (dib && (!dib->valid() || dib->bit_count() != 24)) __builtin_trap();
  return 0;
}
