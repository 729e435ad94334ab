#include "transfer/image_transfer_pipeline.h"

#include "image/capture_processing.h"
#include "image/jpeg_files.h"
#include "naming/transfer_path.h"
#include "platform/encoding.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

constexpr int kConversionQuality = 99;

std::optional<TransferTarget> ImageTransferPipeline::BuildTarget(const Settings& settings,
                                                                 const Cp932Text& capture_id,
                                                                 const LocalTime& now,
                                                                 const OpenTransferFolder& folder,
                                                                 std::string* error) {
  return BuildTransferTarget(settings[SettingSlot::NameFormat], capture_id,
                             settings[SettingSlot::TransferFolder], folder, now, error);
}

ImageResult ImageTransferPipeline::ConvertToJpeg(const std::filesystem::path& still,
                                                 const std::filesystem::path& jpeg) {
  return StillFormatOf(still.filename().string()) == StillFormat::kPng
             ? ConvertPngToJpeg(still, jpeg, kConversionQuality)
             : ConvertBmpToJpeg(still, jpeg, kConversionQuality);
}

ImageResult ImageTransferPipeline::NormalizeWidth(const std::filesystem::path& jpeg,
                                                  const std::filesystem::path& work_file) {
  return NormalizeJpegWidth(jpeg, work_file);
}

ImageResult ImageTransferPipeline::Process(const std::filesystem::path& work_file,
                                           FileNaming& target, const Settings& settings,
                                           const Cp932Text& capture_id, const LocalTime& now,
                                           LastErrorText& errors) {
  ImageResult result = ProcessCapturedImage(work_file, target, settings, capture_id, now);
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
