#include "image/jpeg_files.h"

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/atomic_file.h"
#include "base/unique_fd.h"
#include "image/bmp_reader.h"
#include "image/dib_convert.h"
#include "image/jpeg_codec.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

constexpr int kNormalizedQuality = 100;

// The path as it goes into a message.
Cp932Text PathForMessage(const std::filesystem::path& path) {
  return Utf8ToCp932Replacing(path.string());
}

}  // namespace

bool WriteJpegFileAtomically(const std::filesystem::path& target, const Dib& dib, int quality,
                             bool progressive, bool* open_failed, FileSync sync) {
  ReplacedName name(target);
  return WriteJpegFileAtomically(name, dib, quality, progressive, open_failed, sync);
}

bool WriteJpegFileAtomically(FileNaming& target, const Dib& dib, int quality, bool progressive,
                             bool* open_failed, FileSync sync) {
  if (open_failed != nullptr) *open_failed = false;
  AtomicFile file(target);
  std::FILE* stream = file.Stream();
  if (stream == nullptr) {
    if (open_failed != nullptr) *open_failed = true;
    return false;
  }
  if (!WriteDibToJpeg(stream, dib, quality, progressive)) return false;
  const AtomicFile::Step failed = file.Commit(sync);
  // The name cannot be had (for example a folder is in the way).
  if (failed == AtomicFile::Step::kRename && open_failed != nullptr) *open_failed = true;
  return failed == AtomicFile::Step::kNone;
}

namespace {

// Writes a converted still as the JPEG `jpeg`; `step` names the conversion in the message of
// a file that cannot be created; `write_failed`, when given, is set on failure.
bool WriteConvertedJpeg(const Dib& dib, const std::filesystem::path& jpeg, int quality,
                        const char* step, LastErrorText& errors, bool* write_failed) {
  bool open_failed = false;
  if (!WriteJpegFileAtomically(jpeg, dib, quality, false, &open_failed, FileSync::kNotSynced)) {
    if (write_failed) *write_failed = true;
    errors.Set(open_failed ? PathForMessage(jpeg) + Cp932Text(":") + Cp932Text(step) +
                                 Cp932Text(" jpg open error! ")
                           : Cp932Text("output JPEG file error! "));
    return false;
  }
  return true;
}

}  // namespace

bool ConvertBmpToJpeg(const std::filesystem::path& bmp, const std::filesystem::path& jpeg,
                      int quality, LastErrorText& errors, bool* write_failed) {
  if (write_failed) *write_failed = false;
  UniqueFile file(std::fopen(bmp.c_str(), "rb"));
  if (!file) {
    errors.Set(PathForMessage(bmp) + Cp932Text(":Bmp_to_Jpg bmp open error! "));
    return false;
  }
  std::optional<Dib> dib = ReadBmpToDib(file.get());
  file.reset();
  if (!dib) {
    errors.Set(Cp932Text("BMP file read error! "));
    return false;
  }
  if (dib->bit_count() != 24) {
    dib = ExpandDibTo24(*dib);
    if (!dib) {
      errors.Set(Cp932Text("BMP format not support! "));
      return false;
    }
  }
  return WriteConvertedJpeg(*dib, jpeg, quality, "Bmp_to_Jpg", errors, write_failed);
}

bool ConvertPngToJpeg(const std::filesystem::path& png, const std::filesystem::path& jpeg,
                      int quality, LastErrorText& errors, bool* write_failed) {
  if (write_failed) *write_failed = false;
  UniqueFile file(std::fopen(png.c_str(), "rb"));
  if (!file) {
    errors.Set(PathForMessage(png) + Cp932Text(":Png_to_Jpg png open error! "));
    return false;
  }
  QByteArray bytes;
  char buffer[64 * 1024];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get())) {
    bytes.append(buffer, static_cast<qsizetype>(got));
  }
  file.reset();
  const QImage picture = QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_BGR888);
  std::optional<Dib> dib =
      picture.isNull() ? std::nullopt : Dib::Create(picture.width(), picture.height(), 24);
  if (!dib) {
    errors.Set(Cp932Text("PNG file read error! "));
    return false;
  }
  const std::size_t row_bytes = static_cast<std::size_t>(picture.width()) * 3;
  for (int y = 0; y < picture.height(); ++y) {
    std::memcpy(dib->row(picture.height() - 1 - y), picture.constScanLine(y), row_bytes);
  }
  return WriteConvertedJpeg(*dib, jpeg, quality, "Png_to_Jpg", errors, write_failed);
}

bool NormalizeJpegWidth(const std::filesystem::path& source, const std::filesystem::path& target,
                        MessageSink& messages, bool* write_failed) {
  if (write_failed) *write_failed = false;
  UniqueFile file(std::fopen(source.c_str(), "rb"));
  if (!file) return false;
  std::optional<Dib> dib = ReadJpegToDib(file.get());
  file.reset();
  // A picture narrower than 4 pixels would become an empty one: refused like a bad file.
  if (!dib || dib->width() < 4) {
    messages.ShowMessage(Cp932Text("JPEG read error!"));
    return false;
  }
  const int width = dib->width();
  const int new_width = width / 4 * 4;
  if (new_width != width) {
    ResampleDibNearest(dib->pixels(), width, dib->height(), new_width, dib->height());
    BitmapInfoHeader header = dib->header();
    header.biWidth = new_width;
    header.biSizeImage = static_cast<std::uint32_t>(DibStride(24, new_width) *
                                                    static_cast<std::size_t>(dib->height()));
    dib->SetHeader(header);
  }
  if (WriteJpegFileAtomically(target, *dib, kNormalizedQuality, false, nullptr,
                              FileSync::kNotSynced)) {
    return true;
  }
  if (write_failed) *write_failed = true;
  return false;
}

}  // namespace velmarin
