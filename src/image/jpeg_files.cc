#include "image/jpeg_files.h"

#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/atomic_file.h"
#include "base/unique_fd.h"
#include "image/bmp_reader.h"
#include "image/dib_convert.h"
#include "image/jpeg_codec.h"

namespace velmarin {
namespace {

constexpr int kNormalizedQuality = 100;

}  // namespace

ImageResult WriteJpegFileAtomically(const std::filesystem::path& target, const Dib& dib,
                                    int quality, bool progressive, FileSync sync) {
  ReplacedName name(target);
  return WriteJpegFileAtomically(name, dib, quality, progressive, sync);
}

ImageResult WriteJpegFileAtomically(FileNaming& target, const Dib& dib, int quality,
                                    bool progressive, FileSync sync) {
  AtomicFile file(target);
  std::FILE* stream = file.Stream();
  if (stream == nullptr) return {ImageStatus::kTargetNotCreated, {}};
  ImageResult result;
  if (!WriteDibToJpeg(stream, dib, quality, progressive, &result.detail)) {
    result.status = ImageStatus::kTargetNotWritten;
    return result;
  }
  const AtomicFile::Step failed = file.Commit(sync);
  if (failed == AtomicFile::Step::kRename) {
    result.status = ImageStatus::kTargetNotCreated;  // for example a folder is in the way
  } else if (failed != AtomicFile::Step::kNone) {
    result.status = ImageStatus::kTargetNotWritten;
  }
  return result;
}

ImageResult ConvertBmpToJpeg(const std::filesystem::path& bmp, const std::filesystem::path& jpeg,
                             int quality) {
  UniqueFile file(std::fopen(bmp.c_str(), "rb"));
  if (!file) return {ImageStatus::kSourceNotOpened, {}};
  std::optional<Dib> dib = ReadBmpToDib(file.get());
  file.reset();
  if (!dib) return {ImageStatus::kSourceNotDecoded, {}};
  if (dib->bit_count() != 24) {
    dib = ExpandDibTo24(*dib);
    if (!dib) return {ImageStatus::kFormatNotSupported, {}};
  }
  return WriteJpegFileAtomically(jpeg, *dib, quality, false, FileSync::kNotSynced);
}

ImageResult ConvertPngToJpeg(const std::filesystem::path& png, const std::filesystem::path& jpeg,
                             int quality) {
  UniqueFile file(std::fopen(png.c_str(), "rb"));
  if (!file) return {ImageStatus::kSourceNotOpened, {}};
  QByteArray bytes;
  char buffer[64 * 1024];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get())) {
    bytes.append(buffer, static_cast<qsizetype>(got));
  }
  file.reset();
  const QImage picture = QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_BGR888);
  std::optional<Dib> dib =
      picture.isNull() ? std::nullopt : Dib::Create(picture.width(), picture.height(), 24);
  if (!dib) return {ImageStatus::kSourceNotDecoded, {}};
  const std::size_t row_bytes = static_cast<std::size_t>(picture.width()) * 3;
  for (int y = 0; y < picture.height(); ++y) {
    std::memcpy(dib->row(picture.height() - 1 - y), picture.constScanLine(y), row_bytes);
  }
  return WriteJpegFileAtomically(jpeg, *dib, quality, false, FileSync::kNotSynced);
}

ImageResult NormalizeJpegWidth(const std::filesystem::path& source,
                               const std::filesystem::path& target) {
  UniqueFile file(std::fopen(source.c_str(), "rb"));
  if (!file) return {ImageStatus::kSourceNotOpened, {}};
  std::string messages;
  std::optional<Dib> dib = ReadJpegToDib(file.get(), JpegWarnings::kReportOnce, &messages);
  file.reset();
  // A picture narrower than 4 pixels would become an empty one: refused like a bad file.
  if (!dib || dib->width() < 4) return {ImageStatus::kSourceNotDecoded, std::move(messages)};
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
  ImageResult written =
      WriteJpegFileAtomically(target, *dib, kNormalizedQuality, false, FileSync::kNotSynced);
  // The source's warnings go with the result either way.
  if (written.detail.empty()) written.detail = std::move(messages);
  return written;
}

}  // namespace velmarin
