#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string_view>

#include "base/file_naming.h"
#include "image/dib.h"
#include "image/image_result.h"
#include "image/still_format.h"
#include "naming/local_time.h"
#include "settings/settings.h"

namespace velmarin {

// Turns one captured picture into the transferred JPEG `target`: fills the bands outside
// SourceRange, draws the TextLines stamps ("$i" from `capture_id`, date and time from
// `now`) and encodes the result at JpegQuality. A JPEG source (ReadAsJpeg) with neither a
// range nor stamps is copied unchanged instead, with up to 11 attempts 100 ms apart
// (kCopyFailed when none wrote it). The target is replaced whole or not at all. Stamps need a
// QGuiApplication (EnsureGuiApplication) for their fonts; see ProcessingDrawsText.
ImageResult ProcessCapturedImage(const std::filesystem::path& source,
                                 const std::filesystem::path& target, const Settings& settings,
                                 const Cp932Text& capture_id, const LocalTime& now);
// The same with the finished file named by `target`; a name that cannot be had is reported as
// a target that cannot be created. Nothing drawn depends on the name, so the stamps are the
// same whichever name the file gets.
ImageResult ProcessCapturedImage(const std::filesystem::path& source, FileNaming& target,
                                 const Settings& settings, const Cp932Text& capture_id,
                                 const LocalTime& now);

// A still decoded into memory on its way to the transfer folder.
struct CapturedPicture {
  Dib dib;                     // 24 bits a pixel, its width a multiple of 4 (NormalizeDibWidth)
  std::filesystem::path file;  // the still it was read from
  // `file` is a JPEG of exactly this picture (its width was kept): where nothing is
  // edited it goes out byte for byte.
  bool file_is_picture = false;
};

// The pause between two attempts at a write; SleepBetweenAttempts sleeps, tests step it.
using AttemptPause = std::function<void(std::chrono::milliseconds)>;
void SleepBetweenAttempts(std::chrono::milliseconds pause);

// ProcessCapturedImage on a picture already in memory, so that a still is decoded once and
// encoded once. Where neither a range nor stamps are set nothing is edited: the still itself
// is copied when it is the picture, else the picture is written at quality 100; up to 11
// attempts 100 ms apart (`pause`) either way (kCopyFailed when none wrote it). The picture is
// edited in place.
ImageResult ProcessCapturedPicture(CapturedPicture& picture, FileNaming& target,
                                   const Settings& settings, const Cp932Text& capture_id,
                                   const LocalTime& now,
                                   const AttemptPause& pause = SleepBetweenAttempts);

// Whether `settings` edit a picture: a range to fill or stamps to draw.
inline bool EditsPicture(const Settings& settings) {
  return !settings[SettingSlot::SourceRange].empty() || !settings[SettingSlot::TextLines].empty();
}

// True when ProcessCapturedImage with `settings` draws text, and so needs a QGuiApplication.
// The bands alone are drawn without one, which spares a one-shot command Qt's platform and
// font set-up.
inline bool ProcessingDrawsText(const Settings& settings) {
  return !settings[SettingSlot::TextLines].empty();
}

// Whether ProcessCapturedImage reads `source` as a JPEG (StillFormatOfFile); every other
// source is read as a BMP.
inline bool ReadAsJpeg(const std::filesystem::path& source) {
  return StillFormatOfFile(source) == StillFormat::kJpeg;
}

// The encoder quality of a JpegQuality text: "%d", 95 when it does not scan, held to 1..100.
int JpegQualityOf(std::string_view text);

}  // namespace velmarin
