// The window placement record read back from the user's configuration: any value either is
// refused (shorter than a record) or decodes to fields that encode to its first 44 bytes.
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/window_placement.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray value(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const auto placement = velmarin::app::DecodePlacement(value);
  if (!placement) {
    if (value.size() >= velmarin::app::WindowPlacement::kRecordBytes) std::abort();
    return 0;
  }
  if (velmarin::app::EncodePlacement(*placement) !=
      value.left(velmarin::app::WindowPlacement::kRecordBytes)) {
    std::abort();
  }
  return 0;
}
