#pragma once

#include <string>
#include <utility>

#include "image/capture_processing.h"

#include "transfer/transfer_one_image.h"

namespace velmarin {

// The transfer steps on real pictures: BuildTransferTarget with NameFormat and
// TransferFolder, ReadJpegFile, ReadBmpFile or ReadPngFile, and ProcessCapturedPicture (which
// needs EnsureGuiApplication on the main thread first). Used by
// one folder thread at a time.
class ImageTransferPipeline : public TransferPipeline {
 public:
  // `pause` between two attempts at writing an unedited still.
  explicit ImageTransferPipeline(AttemptPause pause = SleepBetweenAttempts)
      : pause_(std::move(pause)) {}

  std::optional<TransferTarget> BuildTarget(const Settings& settings, const Cp932Text& capture_id,
                                            const LocalTime& now, const OpenTransferFolder& folder,
                                            std::string* error) override;
  std::optional<Dib> Read(const std::filesystem::path& still, StillFormat format,
                          ImageResult& result) override;
  ImageResult Process(CapturedPicture& picture, FileNaming& target, const Settings& settings,
                      const Cp932Text& capture_id, const LocalTime& now,
                      LastErrorText& errors) override;

 private:
  AttemptPause pause_;
  Cp932Text reported_text_lines_;  // the last TextLines value reported as not convertible
};

}  // namespace velmarin
