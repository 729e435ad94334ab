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
                                                                 std::string* error) {
  return BuildTransferTarget(settings[SettingSlot::NameFormat], capture_id,
                             settings[SettingSlot::TransferFolder], now, error);
}

namespace {

StepResult ResultOf(bool done, bool write_failed) {
  if (done) return StepResult::kDone;
  return write_failed ? StepResult::kNotWritten : StepResult::kUnreadable;
}

}  // namespace

StepResult ImageTransferPipeline::ConvertToJpeg(const std::filesystem::path& still,
                                                const std::filesystem::path& jpeg,
                                                LastErrorText& errors) {
  bool write_failed = false;
  const bool done = StillFormatOf(still.filename().string()) == StillFormat::kPng
                        ? ConvertPngToJpeg(still, jpeg, kConversionQuality, errors, &write_failed)
                        : ConvertBmpToJpeg(still, jpeg, kConversionQuality, errors, &write_failed);
  return ResultOf(done, write_failed);
}

StepResult ImageTransferPipeline::NormalizeWidth(const std::filesystem::path& jpeg,
                                                 const std::filesystem::path& work_file,
                                                 MessageSink& messages) {
  bool write_failed = false;
  const bool done = NormalizeJpegWidth(jpeg, work_file, messages, &write_failed);
  return ResultOf(done, write_failed);
}

bool ImageTransferPipeline::Process(const std::filesystem::path& work_file, FileNaming& target,
                                    const Settings& settings, const Cp932Text& capture_id,
                                    const LocalTime& now, LastErrorText& errors) {
  if (!ProcessCapturedImage(work_file, target, settings, capture_id, now, errors)) return false;
  // A stamp text that is not valid code page 932 (a UTF-8 edit of the settings file) is
  // drawn with "?" for what does not convert; that is said once for each such value.
  const Cp932Text& text_lines = settings[SettingSlot::TextLines];
  if (!Cp932ToUtf8(text_lines) && text_lines != reported_text_lines_) {
    errors.Set(Cp932Text("stamp text not Shift-JIS! "));
    reported_text_lines_ = text_lines;
  }
  return true;
}

}  // namespace velmarin
