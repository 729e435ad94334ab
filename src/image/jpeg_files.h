#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "base/atomic_file.h"
#include "base/file_naming.h"
#include "image/dib.h"
#include "image/image_result.h"

namespace velmarin {

// Writes `dib` as a JPEG through an AtomicFile onto `target`. The transferred image is synced;
// the work files ("temp.jpg", "444.jpg") need not be: after a crash their source is still in
// the watch folder, and they are rewritten for every image. On any failure the temporary is
// removed and `target` is left as it was: kTargetNotCreated when the file could not be
// created (no temporary, or the final name cannot be taken), kTargetNotWritten when encoding
// or writing failed.
ImageResult WriteJpegFileAtomically(const std::filesystem::path& target, const Dib& dib,
                                    int quality, bool progressive,
                                    FileSync sync = FileSync::kSynced);
// The same for a file whose name is given by `target` (the name it really got is then
// `target.name()`); a name that cannot be had counts as kTargetNotCreated.
ImageResult WriteJpegFileAtomically(FileNaming& target, const Dib& dib, int quality,
                                    bool progressive, FileSync sync = FileSync::kSynced);

// Each still in memory: a 24-bit Dib, or nullopt with `result` saying why
// (kSourceNotOpened, kSourceNotDecoded; kFormatNotSupported for a BMP that has no 24-bit
// copy). A JPEG's result carries the library's warnings about damage decoded past.
std::optional<Dib> ReadJpegFile(const std::filesystem::path& jpeg, ImageResult& result);
std::optional<Dib> ReadBmpFile(const std::filesystem::path& bmp, ImageResult& result);
// Through Qt's PNG reader, transparency dropped.
std::optional<Dib> ReadPngFile(const std::filesystem::path& png, ImageResult& result);

// Cuts the width of a 24-bit `dib` down to a multiple of 4 (nearest-neighbour), in place;
// the rows are then packed. False, and nothing changed, for a picture narrower than 4 pixels.
bool NormalizeDibWidth(Dib& dib);

// The three functions below write files, each read and encoded once (FileSync::kNotSynced).

// Converts a BMP file into a JPEG file (baseline): kSourceNotOpened, kSourceNotDecoded,
// kFormatNotSupported (no 24-bit copy), or a target status as above.
ImageResult ConvertBmpToJpeg(const std::filesystem::path& bmp, const std::filesystem::path& jpeg,
                             int quality);

// Converts a PNG file into a JPEG file (baseline) through Qt's PNG reader, transparency
// dropped; the statuses as for ConvertBmpToJpeg.
ImageResult ConvertPngToJpeg(const std::filesystem::path& png, const std::filesystem::path& jpeg,
                             int quality);

// Re-encodes the JPEG `source` at quality 100 into `target` with its width cut down to a
// multiple of 4 (nearest-neighbour). kSourceNotDecoded also for a picture narrower than
// 4 pixels. A done result carries the library's warnings about damage decoded past.
ImageResult NormalizeJpegWidth(const std::filesystem::path& source,
                               const std::filesystem::path& target);

}  // namespace velmarin
