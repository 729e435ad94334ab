// Feeds arbitrary bytes to the BMP reader as a file, and expands what it accepts.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/bmp_reader.h"
#include "image/dib_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  const std::optional<velmarin::Dib> dib = velmarin::ReadBmpToDib(file);
  std::fclose(file);
  if (dib) {
    if (!dib->valid() || dib->header().biHeight <= 0) __builtin_trap();
    const std::optional<velmarin::Dib> rgb = velmarin::ExpandDibTo24(*dib);
    if (!rgb) __builtin_trap();  // every Dib the reader makes can be expanded
  }
  return 0;
}
