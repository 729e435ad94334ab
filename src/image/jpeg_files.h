#pragma once

#include <cstdint>
#include <filesystem>

#include "base/atomic_file.h"
#include "base/file_naming.h"
#include "base/last_error_text.h"
#include "base/message_sink.h"
#include "image/dib.h"

namespace velmarin {

// Writes `dib` as a JPEG through an AtomicFile onto `target`. The transferred image is synced;
// the work files ("temp.jpg", "444.jpg") need not be: after a crash their source is still in
// the watch folder, and they are rewritten for every image. On any failure the temporary is
// removed and `target` is left as it was. `open_failed` (optional) is set to true when the file
// could not be created (no temporary, or the final name cannot be taken), false when encoding or
// writing failed, so callers can tell the two failures apart.
bool WriteJpegFileAtomically(const std::filesystem::path& target, const Dib& dib, int quality,
                             bool progressive, bool* open_failed = nullptr,
                             FileSync sync = FileSync::kSynced);
// The same for a file whose name is given by `target` (the name it really got is then
// `target.name()`); a name that cannot be had counts as `open_failed`.
bool WriteJpegFileAtomically(FileNaming& target, const Dib& dib, int quality, bool progressive,
                             bool* open_failed = nullptr, FileSync sync = FileSync::kSynced);

// The four functions below write work files (FileSync::kNotSynced).

// Converts a BMP file into a JPEG file (baseline). On failure one of the messages
// "<path>:Bmp_to_Jpg bmp open error! ", "BMP file read error! ", "BMP format not support! ",
// "<path>:Bmp_to_Jpg jpg open error! ", "output JPEG file error! " goes to `errors`.
// True only when the JPEG was written completely. `write_failed` (optional) tells a JPEG that
// could not be written (the disk, not the picture) from a BMP that could not be read.
bool ConvertBmpToJpeg(const std::filesystem::path& bmp, const std::filesystem::path& jpeg,
                      int quality, LastErrorText& errors, bool* write_failed = nullptr);

// Converts a PNG file into a JPEG file (baseline) through Qt's PNG reader, transparency
// dropped. On failure "<path>:Png_to_Jpg png open error! ", "PNG file read error! ",
// "<path>:Png_to_Jpg jpg open error! " or "output JPEG file error! " goes to `errors`;
// `write_failed` as for ConvertBmpToJpeg.
bool ConvertPngToJpeg(const std::filesystem::path& png, const std::filesystem::path& jpeg,
                      int quality, LastErrorText& errors, bool* write_failed = nullptr);

// Re-encodes the JPEG `source` at quality 100 into `target` with its width cut down to a
// multiple of 4 (nearest-neighbour). "JPEG read error!" goes to `messages` when the source
// does not decode or is narrower than 4 pixels. True only when `target` was written;
// `write_failed` (optional) is set when the source was read but `target` could not be written.
bool NormalizeJpegWidth(const std::filesystem::path& source, const std::filesystem::path& target,
                        MessageSink& messages, bool* write_failed = nullptr);

}  // namespace velmarin
