#pragma once

#include <filesystem>
#include <string>

#include "base/last_error_text.h"
#include "base/message_sink.h"
#include "image/image_result.h"

namespace velmarin {

// The image function a result came from, with the files its texts name.
struct ImageStep {
  enum class Kind { kBmpToJpeg, kPngToJpeg, kNormalizeWidth, kProcess };
  Kind kind;
  std::filesystem::path source;
  std::filesystem::path target;
};

// The text the program has always given for `step` failing with `status`,
// for example "BMP file read error! " or "<path>:Bmp_to_Jpg bmp open error! "; empty where
// such a failure is not said on its own (the width step's missing source or unwritten work
// file: the processing that follows names it).
Cp932Text ImageFailureText(const ImageStep& step, ImageStatus status);

// Says `result` where the program says such things: a failure's text goes to `errors` (the
// window's title; stderr when headless), except a JPEG the width step cannot decode, which is
// the message box "JPEG read error!". What the library said goes with it as its detail. A
// done result with a library note (damage decoded past) sets the note itself in `errors`.
void ReportImageResult(const ImageStep& step, const ImageResult& result, LastErrorText& errors,
                       MessageSink& messages);

}  // namespace velmarin
