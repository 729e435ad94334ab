#include "image/jpeg_files.h"

#include <QByteArray>
#include <QImage>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/unique_fd.h"
#include "image/bmp_reader.h"
#include "image/dib_convert.h"
#include "image/jpeg_codec.h"

namespace velmarin {
namespace {

constexpr int kNormalizedQuality = 100;

// A source that fopen refused, with the system's reason.
std::nullopt_t NotOpened(ImageResult& result) {
  result = {ImageStatus::kSourceNotOpened, ErrnoText(errno)};
  return std::nullopt;
}

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
  if (stream == nullptr) return {ImageStatus::kTargetNotCreated, ErrnoText(errno)};
  ImageResult result;
  if (!WriteDibToJpeg(stream, dib, quality, progressive, &result.detail)) {
    result.status = ImageStatus::kTargetNotWritten;
    return result;
  }
  const AtomicFile::Step failed = file.Commit(sync);
  if (failed == AtomicFile::Step::kNone) return result;
  // The system's reason replaces the encoder's notes: the picture is not there to note on.
  result.detail = ErrnoText(errno);
  // A failed rename: for example a folder is in the way.
  result.status = failed == AtomicFile::Step::kRename ? ImageStatus::kTargetNotCreated
                                                      : ImageStatus::kTargetNotWritten;
  return result;
}

std::optional<Dib> ReadJpegFile(const std::filesystem::path& jpeg, ImageResult& result) {
  UniqueFile file(std::fopen(jpeg.c_str(), "rb"));
  if (!file) return NotOpened(result);
  std::optional<Dib> dib = ReadJpegToDib(file.get(), JpegWarnings::kReportOnce, &result.detail);
  if (!dib) result.status = ImageStatus::kSourceNotDecoded;
  return dib;
}

std::optional<Dib> ReadBmpFile(const std::filesystem::path& bmp, ImageResult& result) {
  UniqueFile file(std::fopen(bmp.c_str(), "rb"));
  if (!file) return NotOpened(result);
  std::optional<Dib> dib = ReadBmpToDib(file.get());
  file.reset();
  if (!dib) {
    result.status = ImageStatus::kSourceNotDecoded;
  } else if (dib->bit_count() != 24) {
    dib = ExpandDibTo24(*dib);
    if (!dib) result.status = ImageStatus::kFormatNotSupported;
  }
  return dib;
}

std::optional<Dib> ReadPngFile(const std::filesystem::path& png, ImageResult& result) {
  UniqueFile file(std::fopen(png.c_str(), "rb"));
  if (!file) return NotOpened(result);
  QByteArray bytes;
  char buffer[64 * 1024];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get())) {
    bytes.append(buffer, static_cast<qsizetype>(got));
  }
  file.reset();
  const QImage picture = QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_BGR888);
  std::optional<Dib> dib = picture.isNull() ? std::nullopt
                                            : Dib::Create(picture.width(), picture.height(), 24, 0,
                                                          DibRows::kOverwritten);
  if (!dib) {
    result.status = ImageStatus::kSourceNotDecoded;
    return std::nullopt;
  }
  const std::size_t row_bytes = static_cast<std::size_t>(picture.width()) * 3;
  for (int y = 0; y < picture.height(); ++y) {
    std::memcpy(dib->row(picture.height() - 1 - y), picture.constScanLine(y), row_bytes);
  }
  return dib;
}

bool NormalizeDibWidth(Dib& dib) {
  // A picture narrower than 4 pixels would become an empty one.
  if (dib.width() < 4) return false;
  const int width = dib.width();
  const int new_width = width / 4 * 4;
  if (new_width == width) return true;
  ResampleDibNearest(dib.pixels(), width, dib.height(), new_width, dib.height());
  BitmapInfoHeader header = dib.header();
  header.biWidth = new_width;
  header.biSizeImage =
      static_cast<std::uint32_t>(DibStride(24, new_width) * static_cast<std::size_t>(dib.height()));
  dib.SetHeader(header);
  return true;
}

ImageResult ConvertBmpToJpeg(const std::filesystem::path& bmp, const std::filesystem::path& jpeg,
                             int quality) {
  ImageResult read;
  const std::optional<Dib> dib = ReadBmpFile(bmp, read);
  if (!dib) return read;
  return WriteJpegFileAtomically(jpeg, *dib, quality, false, FileSync::kNotSynced);
}

ImageResult ConvertPngToJpeg(const std::filesystem::path& png, const std::filesystem::path& jpeg,
                             int quality) {
  ImageResult read;
  const std::optional<Dib> dib = ReadPngFile(png, read);
  if (!dib) return read;
  return WriteJpegFileAtomically(jpeg, *dib, quality, false, FileSync::kNotSynced);
}

ImageResult NormalizeJpegWidth(const std::filesystem::path& source,
                               const std::filesystem::path& target) {
  ImageResult read;
  std::optional<Dib> dib = ReadJpegFile(source, read);
  if (!dib) return read;
  if (!NormalizeDibWidth(*dib)) return {ImageStatus::kSourceNotDecoded, std::move(read.detail)};
  ImageResult written =
      WriteJpegFileAtomically(target, *dib, kNormalizedQuality, false, FileSync::kNotSynced);
  // The source's warnings go with the result either way.
  if (written.detail.empty()) written.detail = std::move(read.detail);
  return written;
}

}  // namespace velmarin
