#include "image/capture_processing.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/scanf_reader.h"
#include "base/unique_fd.h"
#include "image/bmp_reader.h"
#include "image/dib.h"
#include "image/dib_convert.h"
#include "image/dib_editing.h"
#include "image/jpeg_codec.h"
#include "image/jpeg_files.h"
#include "image/stamp_settings.h"

namespace velmarin {
namespace {

constexpr int kCopyAttempts = 11;
// Between copy attempts: a target held for a moment (a virus scanner, a sync client) is let go.
constexpr std::chrono::milliseconds kCopyRetryPause{100};
constexpr int kDefaultQuality = 95;
// A picture written without edits keeps all the encoder can keep.
constexpr int kUneditedQuality = 100;

bool TakesCopyPath(const std::filesystem::path& source, const Settings& settings) {
  return !EditsPicture(settings) && ReadAsJpeg(source);
}

// Loads the source as a 24-bit Dib; `result` says why there is none, and carries the
// library's warnings.
std::optional<Dib> LoadPicture(const std::filesystem::path& source, ImageResult& result) {
  std::optional<Dib> dib =
      ReadAsJpeg(source) ? ReadJpegFile(source, result) : ReadBmpFile(source, result);
  // A BMP without a 24-bit copy cannot be drawn on: it is not read.
  if (result.status == ImageStatus::kFormatNotSupported)
    result.status = ImageStatus::kSourceNotDecoded;
  return dib;
}

// Tries `write` up to kCopyAttempts times, `pause` between two; kCopyFailed when none
// succeeded, with the system's reason of the last attempt.
ImageResult WithAttempts(const std::function<bool()>& write,
                         const AttemptPause& pause = SleepBetweenAttempts) {
  int error = 0;
  for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
    if (attempt > 0) pause(kCopyRetryPause);
    errno = 0;
    if (write()) return {};
    error = errno;
  }
  return {ImageStatus::kCopyFailed, error != 0 ? ErrnoText(error) : std::string()};
}

// The edited picture encoded at JpegQuality onto `target`.
ImageResult EditAndWrite(Dib& dib, FileNaming& target, const Settings& settings,
                         const Cp932Text& capture_id, const LocalTime& now) {
  if (!EditDibInPlace(dib, settings, capture_id, now)) return {ImageStatus::kOutOfMemory, {}};
  return WriteJpegFileAtomically(target, dib,
                                 JpegQualityOf(settings[SettingSlot::JpegQuality].view()),
                                 /*progressive=*/false);
}

}  // namespace

void SleepBetweenAttempts(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }

int JpegQualityOf(std::string_view text) {
  return std::clamp(ScanDecimal(text).value_or(kDefaultQuality), 1, 100);
}

ImageResult ProcessCapturedImage(const std::filesystem::path& source,
                                 const std::filesystem::path& target, const Settings& settings,
                                 const Cp932Text& capture_id, const LocalTime& now) {
  ReplacedName name(target);
  return ProcessCapturedImage(source, name, settings, capture_id, now);
}

ImageResult ProcessCapturedImage(const std::filesystem::path& source, FileNaming& target,
                                 const Settings& settings, const Cp932Text& capture_id,
                                 const LocalTime& now) {
  if (TakesCopyPath(source, settings)) {
    return WithAttempts([&] { return CopyFileAtomically(source, target, FileSync::kSynced); });
  }
  ImageResult loaded;
  std::optional<Dib> dib = LoadPicture(source, loaded);
  if (!dib) return loaded;
  ImageResult written = EditAndWrite(*dib, target, settings, capture_id, now);
  // The source's warnings go with the result either way.
  if (written.detail.empty()) written.detail = std::move(loaded.detail);
  return written;
}

ImageResult ProcessCapturedPicture(CapturedPicture& picture, FileNaming& target,
                                   const Settings& settings, const Cp932Text& capture_id,
                                   const LocalTime& now, const AttemptPause& pause) {
  if (!EditsPicture(settings)) {
    // Nothing to draw: the still goes out as it came, or as the work file of its width was.
    if (picture.file_is_picture) {
      return WithAttempts(
          [&] { return CopyFileAtomically(picture.file, target, FileSync::kSynced); }, pause);
    }
    return WithAttempts(
        [&] { return WriteJpegFileAtomically(target, picture.dib, kUneditedQuality, false).ok(); },
        pause);
  }
  return EditAndWrite(picture.dib, target, settings, capture_id, now);
}

}  // namespace velmarin
