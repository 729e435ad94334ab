#pragma once

#include <filesystem>
#include <string_view>

#include "base/file_naming.h"
#include "image/image_result.h"
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

// True when ProcessCapturedImage with `settings` draws text, and so needs a QGuiApplication.
// The bands alone are drawn without one, which spares a one-shot command Qt's platform and
// font set-up.
inline bool ProcessingDrawsText(const Settings& settings) {
  return !settings[SettingSlot::TextLines].empty();
}

// Whether ProcessCapturedImage reads `source` as a JPEG (a path containing ".jpg" or ".JPG");
// every other source is read as a BMP.
bool ReadAsJpeg(const std::filesystem::path& source);

// What ProcessCapturedImage gives when `source` cannot be read: kCopyFailed where it would
// copy the file (a JPEG without range and stamps), else kSourceNotOpened.
ImageStatus UnreadableSourceStatus(const std::filesystem::path& source, const Settings& settings);

// The encoder quality of a JpegQuality text: "%d", 95 when it does not scan, held to 1..100.
int JpegQualityOf(std::string_view text);

}  // namespace velmarin
