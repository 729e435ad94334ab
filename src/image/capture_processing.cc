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
// "転送失敗! " (transfer failed) in code page 932.
constexpr std::string_view kTransferFailed = "\x93\x5D\x91\x97\x8E\xB8\x94\x73! ";
constexpr std::string_view kSourceOpenFailed = "fopen_error! ";

bool IsJpegPath(const std::filesystem::path& path) {
  const std::string& text = path.native();
  return text.find(".jpg") != std::string::npos || text.find(".JPG") != std::string::npos;
}

bool TakesCopyPath(const std::filesystem::path& source, const Settings& settings) {
  return settings[SettingSlot::SourceRange].empty() && settings[SettingSlot::TextLines].empty() &&
         IsJpegPath(source);
}

// Loads the source as a 24-bit Dib, or sets the message of the failure.
std::optional<Dib> LoadPicture(const std::filesystem::path& source, LastErrorText& errors) {
  const UniqueFile file(std::fopen(source.c_str(), "rb"));
  if (!file) {
    errors.Set(Cp932Text(kSourceOpenFailed));
    return std::nullopt;
  }
  if (IsJpegPath(source)) {
    auto dib = ReadJpegToDib(file.get());
    if (!dib) errors.Set(Cp932Text("jpg_read_dib_file error! "));
    return dib;
  }
  auto dib = ReadBmpToDib(file.get());
  // Pictures of fewer bits get a 24-bit copy: the drawing surface has three bytes a pixel.
  if (dib && dib->bit_count() != 24) dib = ExpandDibTo24(*dib);
  if (!dib) errors.Set(Cp932Text("bmp_read_dib_file_error! "));
  return dib;
}

}  // namespace

std::string_view UnreadableSourceText(const std::filesystem::path& source,
                                      const Settings& settings) {
  return TakesCopyPath(source, settings) ? kTransferFailed : kSourceOpenFailed;
}

int JpegQualityOf(std::string_view text) {
  return std::clamp(ScanDecimal(text).value_or(kDefaultQuality), 1, 100);
}

bool ProcessCapturedImage(const std::filesystem::path& source, const std::filesystem::path& target,
                          const Settings& settings, const Cp932Text& capture_id,
                          const LocalTime& now, LastErrorText& errors) {
  ReplacedName name(target);
  return ProcessCapturedImage(source, name, settings, capture_id, now, errors);
}

bool ProcessCapturedImage(const std::filesystem::path& source, FileNaming& target,
                          const Settings& settings, const Cp932Text& capture_id,
                          const LocalTime& now, LastErrorText& errors) {
  const int quality = JpegQualityOf(settings[SettingSlot::JpegQuality].view());

  if (TakesCopyPath(source, settings)) {
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(kCopyRetryPause);
      if (CopyFileAtomically(source, target, FileSync::kSynced)) return true;
    }
    errors.Set(Cp932Text(kTransferFailed));
    return false;
  }

  auto dib = LoadPicture(source, errors);
  if (!dib) return false;
  if (!EditDibInPlace(*dib, settings, capture_id, now)) {
    errors.Set(Cp932Text("out of memory! "));
    return false;
  }

  bool open_failed = false;
  if (!WriteJpegFileAtomically(target, *dib, quality, /*progressive=*/false, &open_failed)) {
    errors.Set(Cp932Text(open_failed ? "jpg_file_open_error! " : "jpg_save_div_file_error! "));
    return false;
  }
  return true;
}

}  // namespace velmarin
