#include "transfer/image_transfer_pipeline.h"

#include "image/capture_processing.h"
#include "image/jpeg_files.h"
#include "naming/transfer_path.h"
#include "platform/encoding.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

std::optional<TransferTarget> ImageTransferPipeline::BuildTarget(const Settings& settings,
                                                                 const Cp932Text& capture_id,
                                                                 const LocalTime& now,
                                                                 const OpenTransferFolder& folder,
                                                                 std::string* error) {
  return BuildTransferTarget(settings[SettingSlot::NameFormat], capture_id,
                             settings[SettingSlot::TransferFolder], folder, now, error);
}

std::optional<Dib> ImageTransferPipeline::Read(const std::filesystem::path& still,
                                               StillFormat format, ImageResult& result) {
  switch (format) {
    case StillFormat::kBmp:
      return ReadBmpFile(still, result);
    case StillFormat::kPng:
      return ReadPngFile(still, result);
    default:
      return ReadJpegFile(still, result);
  }
}

ImageResult ImageTransferPipeline::Process(CapturedPicture& picture, FileNaming& target,
                                           const Settings& settings, const Cp932Text& capture_id,
                                           const LocalTime& now, LastErrorText& errors) {
  ImageResult result = ProcessCapturedPicture(picture, target, settings, capture_id, now, pause_);
  if (!result.ok()) return result;
  // A stamp text that is not valid code page 932 (a UTF-8 edit of the settings file) is
  // drawn with "?" for what does not convert; that is said once for each such value.
  const Cp932Text& text_lines = settings[SettingSlot::TextLines];
  if (!Cp932ToUtf8(text_lines) && text_lines != reported_text_lines_) {
    errors.Set(Cp932Text("stamp text not Shift-JIS! "));
    reported_text_lines_ = text_lines;
  }
  return result;
}

}  // namespace velmarin
