#pragma once

#include <string>

#include "transfer/folder_monitor.h"

namespace velmarin {

// The transfer steps on real pictures: BuildTransferTarget with NameFormat and
// TransferFolder, ConvertBmpToJpeg or ConvertPngToJpeg at quality 99, NormalizeJpegWidth and
// ProcessCapturedImage (which needs EnsureGuiApplication on the main thread first). Used by
// one folder thread at a time.
class ImageTransferPipeline : public TransferPipeline {
 public:
  std::optional<TransferTarget> BuildTarget(const Settings& settings, const Cp932Text& capture_id,
                                            const LocalTime& now, const OpenTransferFolder& folder,
                                            std::string* error) override;
  ImageResult ConvertToJpeg(const std::filesystem::path& still,
                            const std::filesystem::path& jpeg) override;
  ImageResult NormalizeWidth(const std::filesystem::path& jpeg,
                             const std::filesystem::path& work_file) override;
  ImageResult Process(const std::filesystem::path& work_file, FileNaming& target,
                      const Settings& settings, const Cp932Text& capture_id, const LocalTime& now,
                      LastErrorText& errors) override;

 private:
  Cp932Text reported_text_lines_;  // the last TextLines value reported as not convertible
};

}  // namespace velmarin
