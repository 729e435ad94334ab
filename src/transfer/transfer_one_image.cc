#include "transfer/transfer_one_image.h"

#include <system_error>
#include <vector>

#include "base/stale_temporaries.h"
#include "image/jpeg_files.h"
#include "platform/encoding.h"
#include "transfer/image_failure_texts.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

// Whether `target` would land in the watch folder itself, where the next scan would take it
// as a new capture, and so on without end. A sub-folder of it is never scanned.
bool LandsInWatchFolder(const fs::path& target, const Settings& settings,
                        const ProgramDir& program_dir) {
  const auto watch_folder =
      FolderFromSlot(settings[SettingSlot::WatchFolder], program_dir, nullptr);
  std::error_code ec;
  return watch_folder && fs::equivalent(target.parent_path(), *watch_folder, ec);
}

// The folder that holds `file`, for the *at() calls.
AtPath FolderOfFile(const AtPath& file) {
  return {file.folder, file.path.has_parent_path() ? file.path.parent_path() : fs::path(".")};
}

}  // namespace

TransferOutcome TransferOneImage(const fs::path& source, const Settings& settings,
                                 const Cp932Text& capture_id, const LocalTime& now,
                                 const ProgramDir& program_dir, const OpenTransferFolder& folder,
                                 TransferPipeline& pipeline, LastErrorText& errors,
                                 MessageSink& messages,
                                 const TransferTarget::BeforeClaim& before_claim) {
  // Failures on the writing side are worth a later try; the still's own are not.
  const TransferOutcome retry{std::nullopt, true};
  const TransferOutcome give_up{std::nullopt, false};
  std::string error;
  Settings resolved = settings;
  resolved[SettingSlot::TransferFolder] =
      FolderInProgramDir(program_dir, settings[SettingSlot::TransferFolder]);
  // The reason may quote a file-system path.
  const auto report = [&errors](const std::string& reason) {
    const auto cp932 = Utf8ToCp932(reason);
    errors.Set(cp932 ? *cp932 : Cp932Text("transfer path error! "));
  };
  auto target = pipeline.BuildTarget(resolved, capture_id, now, folder, &error);
  if (!target) {
    report(error);
    return retry;
  }
  target->SetBeforeClaim(before_claim);
  // After a failed write, what killed runs left where this one writes goes, so their
  // leftovers never fill the disk.
  struct CleanUpAfterFailure {
    std::vector<AtPath> folders;
    bool succeeded = false;
    ~CleanUpAfterFailure() {
      if (succeeded) return;
      for (const AtPath& folder : folders) RemoveStaleTemporaries(folder);
    }
  } clean_up{{FolderOfFile(target->location())}};
  if (LandsInWatchFolder(target->name(), settings, program_dir)) {
    errors.Set(Cp932Text("transfer target in watch folder! "));
    return give_up;
  }
  // A step that could not write its file failed on the writing side; any other failure is
  // the still's own.
  const auto failed = [&](const ImageResult& result) {
    const bool not_written = result.status == ImageStatus::kTargetNotCreated ||
                             result.status == ImageStatus::kTargetNotWritten;
    return not_written ? retry : TransferOutcome{std::nullopt, false, true};
  };

  // The conversion is chosen by the file's name, not by the folders above it.
  const StillFormat format = StillFormatOfFile(source);
  ImageResult read;
  std::optional<Dib> dib = pipeline.Read(source, format, read);
  const bool converted = format == StillFormat::kBmp || format == StillFormat::kPng;
  if (converted) {
    const auto kind =
        format == StillFormat::kPng ? ImageStep::Kind::kPngToJpeg : ImageStep::Kind::kBmpToJpeg;
    ReportImageResult({kind, source, {}}, read, errors, messages);
    if (!dib) return failed(read);
    read = {};
  }
  // The width step: a JPEG that does not decode, or any picture narrower than 4 pixels.
  const bool width_kept = dib && dib->width() % 4 == 0;
  if (dib && !NormalizeDibWidth(*dib)) {
    dib.reset();
    read.status = ImageStatus::kSourceNotDecoded;
  }
  ReportImageResult({ImageStep::Kind::kNormalizeWidth, source, {}}, read, errors, messages);
  if (!dib) {
    // The text is the one the processing of a missing work file has always left. A still
    // that does not decode had its detail in its box.
    const ImageStep processing{ImageStep::Kind::kProcess, source, target->name()};
    const bool boxed = read.status == ImageStatus::kSourceNotDecoded;
    errors.Set(ImageFailureText(processing, EditsPicture(settings) ? ImageStatus::kSourceNotOpened
                                                                   : ImageStatus::kCopyFailed),
               boxed ? Cp932Text() : Utf8ToCp932Replacing(read.detail));
    return failed(read);
  }
  CapturedPicture picture{std::move(*dib), source, !converted && width_kept};
  const ImageResult processed =
      pipeline.Process(picture, *target, settings, capture_id, now, errors);
  ReportImageResult({ImageStep::Kind::kProcess, source, target->name()}, processed, errors,
                    messages);
  if (!processed.ok()) {
    if (!target->error().empty()) report(target->error());
    return retry;
  }
  clean_up.succeeded = true;
  return {target->name(), false};
}

}  // namespace velmarin
