#include "transfer/image_failure_texts.h"

#include <algorithm>
#include <optional>

#include "image/capture_processing.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

using Kind = ImageStep::Kind;

// "転送失敗! " (transfer failed) in code page 932.
constexpr const char* kTransferFailed = "\x93\x5D\x91\x97\x8E\xB8\x94\x73! ";
constexpr const char* kJpegReadError = "JPEG read error!";

// The path as it goes into a text: code page 932 like every text; characters that code page
// lacks become '?'.
std::string PathForMessage(const std::filesystem::path& path) {
  if (std::optional<std::string> converted = Utf8ToCp932(path.string())) return *converted;
  std::string text = path.string();
  const auto non_ascii = [](unsigned char c) { return c >= 0x80; };
  std::ranges::replace_if(text, non_ascii, '?');
  return text;
}

std::string ConversionText(const ImageStep& step, ImageStatus status) {
  const bool bmp = step.kind == Kind::kBmpToJpeg;
  const std::string name = bmp ? "Bmp_to_Jpg" : "Png_to_Jpg";
  switch (status) {
    case ImageStatus::kSourceNotOpened:
      return PathForMessage(step.source) + ":" + name + (bmp ? " bmp" : " png") + " open error! ";
    case ImageStatus::kTargetNotCreated:
      return PathForMessage(step.target) + ":" + name + " jpg open error! ";
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

std::string ImageFailureText(const ImageStep& step, ImageStatus status) {
  if (status == ImageStatus::kDone) return {};
  switch (step.kind) {
    case Kind::kBmpToJpeg:
    case Kind::kPngToJpeg:
      return ConversionText(step, status);
    case Kind::kNormalizeWidth:
      return status == ImageStatus::kSourceNotDecoded ? kJpegReadError : "";
    case Kind::kProcess:
      return ProcessingText(step, status);
  }
  return {};
}

void ReportImageResult(const ImageStep& step, const ImageResult& result, LastErrorText& errors,
                       MessageSink& messages) {
  if (result.ok()) {
    if (!result.detail.empty()) errors.Set(result.detail);
    return;
  }
  const std::string text = ImageFailureText(step, result.status);
  if (text.empty()) return;
  if (step.kind == Kind::kNormalizeWidth) {
    messages.ShowMessage(WithDetail(text, result.detail));
  } else {
    errors.Set(text, result.detail);
  }
}

}  // namespace velmarin
