#include "transfer/image_transfer_pipeline.h"

#include "image/capture_processing.h"
#include "image/jpeg_files.h"
#include "naming/transfer_path.h"

namespace velmarin {

namespace {
constexpr int kBmpConversionQuality = 99;
}  // namespace

std::optional<TransferTarget> ImageTransferPipeline::BuildTarget(const Settings& settings,
                                                                 std::string_view capture_id,
                                                                 const LocalTime& now,
                                                                 std::string* error) {
  return BuildTransferTarget(settings[SettingSlot::NameFormat], capture_id,
                             settings[SettingSlot::TransferFolder], now, error);
}

bool ImageTransferPipeline::ConvertBmp(const std::filesystem::path& bmp,
                                       const std::filesystem::path& jpeg, LastErrorText& errors) {
  return ConvertBmpToJpeg(bmp, jpeg, kBmpConversionQuality, errors);
}

bool ImageTransferPipeline::NormalizeWidth(const std::filesystem::path& jpeg,
                                           const std::filesystem::path& work_file,
                                           MessageSink& messages) {
  return NormalizeJpegWidth(jpeg, work_file, messages);
}

bool ImageTransferPipeline::Process(const std::filesystem::path& work_file, FileNaming& target,
                                    const Settings& settings, std::string_view capture_id,
                                    const LocalTime& now, LastErrorText& errors) {
  return ProcessCapturedImage(work_file, target, settings, capture_id, now, errors);
}

}  // namespace velmarin
