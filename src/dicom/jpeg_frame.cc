#include "dicom/jpeg_frame.h"

#include <cstddef>
#include <cstdint>

namespace velmarin {
namespace {

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

int BigEndian16(std::string_view bytes, std::size_t at) {
  return Byte(bytes, at) << 8 | Byte(bytes, at + 1);
}

// Markers without a length: TEM, RST0-7, SOI, EOI.
bool StandsAlone(std::uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

// Start-of-frame markers: C0-CF but DHT (C4), JPG (C8) and DAC (CC).
bool StartsFrame(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

constexpr std::uint8_t kStartOfScan = 0xDA;

std::optional<JpegFrame> FrameOf(std::string_view segment, std::uint8_t marker) {
  // precision, height, width, component count, then three bytes per component
  if (segment.size() < 6) return std::nullopt;
  JpegFrame frame;
  const int precision = Byte(segment, 0);
  frame.height = BigEndian16(segment, 1);
  frame.width = BigEndian16(segment, 3);
  frame.components = Byte(segment, 5);
  if ((frame.components != 1 && frame.components != 3) || frame.width == 0 || frame.height == 0 ||
      segment.size() < 6 + 3 * static_cast<std::size_t>(frame.components)) {
    return std::nullopt;
  }
  frame.baseline = marker == 0xC0 && precision == 8;
  const std::uint8_t first = Byte(segment, 7);
  for (int i = 1; i < frame.components; ++i) {
    if (Byte(segment, 7 + 3 * static_cast<std::size_t>(i)) != first) frame.subsampled = true;
  }
  return frame;
}

}  // namespace

std::optional<JpegFrame> ReadJpegFrame(std::string_view bytes) {
  if (bytes.size() < 4 || Byte(bytes, 0) != 0xFF || Byte(bytes, 1) != 0xD8) return std::nullopt;
  std::size_t at = 2;
  while (at + 1 < bytes.size()) {
    if (Byte(bytes, at) != 0xFF) return std::nullopt;
    // Any number of fill bytes may stand before a marker.
    while (at + 1 < bytes.size() && Byte(bytes, at + 1) == 0xFF) ++at;
    if (at + 1 >= bytes.size()) return std::nullopt;
    const std::uint8_t marker = Byte(bytes, at + 1);
    at += 2;
    if (StandsAlone(marker)) continue;
    if (at + 2 > bytes.size()) return std::nullopt;
    const std::size_t length = static_cast<std::size_t>(BigEndian16(bytes, at));
    if (length < 2 || at + length > bytes.size()) return std::nullopt;
    if (StartsFrame(marker)) return FrameOf(bytes.substr(at + 2, length - 2), marker);
    if (marker == kStartOfScan) return std::nullopt;
    at += length;
  }
  return std::nullopt;
}

}  // namespace velmarin
