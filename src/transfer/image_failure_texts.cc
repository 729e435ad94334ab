#include "transfer/image_failure_texts.h"

#include <string>

#include "image/capture_processing.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

using Kind = ImageStep::Kind;

// "転送失敗! " (transfer failed) in code page 932.
constexpr const char* kTransferFailed = "\x93\x5D\x91\x97\x8E\xB8\x94\x73! ";
constexpr const char* kJpegReadError = "JPEG read error!";

// The path as it goes into a text.
Cp932Text PathForMessage(const std::filesystem::path& path) {
  return Utf8ToCp932Replacing(path.string());
}

std::string ConversionText(const ImageStep& step, ImageStatus status) {
  const bool bmp = step.kind == Kind::kBmpToJpeg;
  const std::string name = bmp ? "Bmp_to_Jpg" : "Png_to_Jpg";
  switch (status) {
    case ImageStatus::kSourceNotOpened:
      return PathForMessage(step.source).bytes() + ":" + name + (bmp ? " bmp" : " png") +
             " open error! ";
    case ImageStatus::kTargetNotCreated:
      return PathForMessage(step.target).bytes() + ":" + name + " jpg open error! ";
    case ImageStatus::kTargetNotWritten:
      return "output JPEG file error! ";
    case ImageStatus::kFormatNotSupported:
      return "BMP format not support! ";
    default:
      return bmp ? "BMP file read error! " : "PNG file read error! ";
  }
}

std::string ProcessingText(const ImageStep& step, ImageStatus status) {
  switch (status) {
    case ImageStatus::kCopyFailed:
      return kTransferFailed;
    case ImageStatus::kSourceNotOpened:
      return "fopen_error! ";
    case ImageStatus::kTargetNotCreated:
      return "jpg_file_open_error! ";
    case ImageStatus::kTargetNotWritten:
      return "jpg_save_div_file_error! ";
    case ImageStatus::kOutOfMemory:
      return "out of memory! ";
    default:
      return ReadAsJpeg(step.source) ? "jpg_read_dib_file error! " : "bmp_read_dib_file_error! ";
  }
}

}  // namespace

Cp932Text ImageFailureText(const ImageStep& step, ImageStatus status) {
  if (status == ImageStatus::kDone) return {};
  switch (step.kind) {
    case Kind::kBmpToJpeg:
    case Kind::kPngToJpeg:
      return Cp932Text(ConversionText(step, status));
    case Kind::kNormalizeWidth:
      return Cp932Text(status == ImageStatus::kSourceNotDecoded ? kJpegReadError : "");
    case Kind::kProcess:
      return Cp932Text(ProcessingText(step, status));
  }
  return {};
}

void ReportImageResult(const ImageStep& step, const ImageResult& result, LastErrorText& errors,
                       MessageSink& messages) {
  // What the library said (UTF-8; its own texts are ASCII, a path in them may not be).
  const Cp932Text detail = Utf8ToCp932Replacing(result.detail);
  if (result.ok()) {
    if (!detail.empty()) errors.Set(detail);
    return;
  }
  const Cp932Text text = ImageFailureText(step, result.status);
  if (text.empty()) return;
  if (step.kind == Kind::kNormalizeWidth) {
    messages.ShowMessage(WithDetail(text, detail));
  } else {
    errors.Set(text, detail);
  }
}

}  // namespace velmarin
