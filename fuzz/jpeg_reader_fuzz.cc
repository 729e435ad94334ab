// Feeds arbitrary bytes to the JPEG decoder as a file, in both of its ways with warnings.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/jpeg_codec.h"

namespace {

std::optional<velmarin::Dib> Decode(const std::uint8_t* data, std::size_t size,
                                    velmarin::JpegWarnings warnings) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return std::nullopt;
  std::optional<velmarin::Dib> dib = velmarin::ReadJpegToDib(file, warnings);
  std::fclose(file);
  return dib;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  const auto lenient = Decode(data, size, velmarin::JpegWarnings::kReportOnce);
  if (lenient && (!lenient->valid() || lenient->bit_count() != 24)) __builtin_trap();
  // A file clean enough for the strict decoding decodes the same either way.
  const auto strict = Decode(data, size, velmarin::JpegWarnings::kRefuseSilently);
  if (strict && (!lenient || strict->block() != lenient->block())) __builtin_trap();
  return 0;
}
