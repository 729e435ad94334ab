#pragma once

#include <optional>
#include <string_view>

namespace velmarin {

// What a JPEG file's frame header says, as a DICOM image needs it beside the encapsulated
// file.
struct JpegFrame {
  int width = 0;
  int height = 0;
  int components = 0;       // 1 (grey) or 3 (colour)
  bool baseline = false;    // SOF0 with 8-bit samples: JPEG Baseline (Process 1)
  bool subsampled = false;  // the colour components have fewer samples than the first
};

// The frame header of the JPEG file `bytes`: the first start-of-frame marker before the
// first scan. nullopt when the bytes are no JPEG, end early, or name no 1- or 3-component
// frame of a size above zero.
std::optional<JpegFrame> ReadJpegFrame(std::string_view bytes);

}  // namespace velmarin
