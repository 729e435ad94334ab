#include "image/capture_processing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "base/atomic_file.h"
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

bool TakesCopyPath(const std::filesystem::path& source, const Settings& settings) {
  return settings[SettingSlot::SourceRange].empty() && settings[SettingSlot::TextLines].empty() &&
         ReadAsJpeg(source);
}

// Loads the source as a 24-bit Dib; `result` says why there is none, and carries the
// library's warnings.
std::optional<Dib> LoadPicture(const std::filesystem::path& source, ImageResult& result) {
  const UniqueFile file(std::fopen(source.c_str(), "rb"));
  if (!file) {
    result.status = ImageStatus::kSourceNotOpened;
    return std::nullopt;
  }
  std::optional<Dib> dib;
  if (ReadAsJpeg(source)) {
    dib = ReadJpegToDib(file.get(), JpegWarnings::kReportOnce, &result.detail);
  } else {
    dib = ReadBmpToDib(file.get());
    // Pictures of fewer bits get a 24-bit copy: the drawing surface has three bytes a pixel.
    if (dib && dib->bit_count() != 24) dib = ExpandDibTo24(*dib);
  }
  if (!dib) result.status = ImageStatus::kSourceNotDecoded;
  return dib;
}

}  // namespace

bool ReadAsJpeg(const std::filesystem::path& source) {
  const std::string& text = source.native();
  return text.find(".jpg") != std::string::npos || text.find(".JPG") != std::string::npos;
}

ImageStatus UnreadableSourceStatus(const std::filesystem::path& source, const Settings& settings) {
  return TakesCopyPath(source, settings) ? ImageStatus::kCopyFailed : ImageStatus::kSourceNotOpened;
}

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
  const int quality = JpegQualityOf(settings[SettingSlot::JpegQuality].view());

  if (TakesCopyPath(source, settings)) {
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(kCopyRetryPause);
      if (CopyFileAtomically(source, target, FileSync::kSynced)) return {};
    }
    return {ImageStatus::kCopyFailed, {}};
  }

  ImageResult loaded;
  auto dib = LoadPicture(source, loaded);
  if (!dib) return loaded;
  if (!EditDibInPlace(*dib, settings, capture_id, now)) {
    return {ImageStatus::kOutOfMemory, std::move(loaded.detail)};
  }
  ImageResult written = WriteJpegFileAtomically(target, *dib, quality, /*progressive=*/false);
  // The source's warnings go with the result either way.
  if (written.detail.empty()) written.detail = std::move(loaded.detail);
  return written;
}

}  // namespace velmarin
