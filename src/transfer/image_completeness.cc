#include "transfer/image_completeness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "base/stoppable_sleep.h"
#include "base/unique_fd.h"
#include "image/dib.h"
#include "image/jpeg_codec.h"

namespace velmarin {
namespace {

// The tail read for the end-of-image test; trailing zero bytes beyond it are not trimmed.
constexpr long kTailBytes = 64 * 1024;
constexpr std::size_t kBmpHeaderBytes = 14 + 40;

std::optional<std::uint64_t> FileSize(const std::filesystem::path& file) {
  struct stat info {};
  if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

std::uint32_t Le32(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Whether the last bytes of `file` hold an end-of-image marker: as the very last bytes
// (trailing zero bytes aside) when `at_end`, else anywhere among them. A file cut short
// has none and is not handed to the decoder, which would complain about it on stderr.
bool TailHoldsEndOfImage(std::FILE* file, std::uint64_t size, bool at_end) {
  const long tail = static_cast<long>(std::min<std::uint64_t>(size, kTailBytes));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(tail));
  if (std::fseek(file, -tail, SEEK_END) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    return false;
  }
  if (!at_end) {
    const std::uint8_t marker[] = {0xFF, 0xD9};
    return std::search(bytes.begin(), bytes.end(), marker, marker + 2) != bytes.end();
  }
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  return bytes.size() >= 2 && bytes[bytes.size() - 2] == 0xFF && bytes.back() == 0xD9;
}

// The decoding reads up to the end marker, so a file that decodes is whole even when its
// writer appends data after the marker; `marker_at_end` also asks for nothing to follow it.
bool JpegComplete(std::FILE* file, std::uint64_t size, bool marker_at_end) {
  if (!TailHoldsEndOfImage(file, size, marker_at_end)) return false;
  std::rewind(file);
  return ReadJpegToDib(file).has_value();
}

// The end of the pixel data as the headers give it: the data offset plus the rows of an
// uncompressed picture, else the image size field, else the file size field.
bool BmpComplete(const std::uint8_t* header, std::uint64_t size) {
  const std::uint64_t file_size_field = Le32(header + 2);
  const std::uint64_t data_offset = Le32(header + 10);
  const auto info = BitmapInfoHeader::Parse(header + 14);
  std::uint64_t needed = file_size_field;
  if (info.biSize >= BitmapInfoHeader::kSize) {
    const std::int64_t height = info.biHeight < 0 ? -std::int64_t{info.biHeight} : info.biHeight;
    const bool uncompressed = info.biCompression == 0 || info.biCompression == 3;
    if (uncompressed && DibSizeAllowed(info.biWidth, height) && info.biWidth > 0) {
      needed = data_offset + DibStride(info.biBitCount, info.biWidth) * height;
    } else if (info.biSizeImage != 0) {
      needed = data_offset + info.biSizeImage;
    }
  }
  return size >= needed;
}

enum class Content { kWhole, kPartial, kUnknown };

// What the content of `file` says about its completeness.
Content JudgeContent(const std::filesystem::path& file, bool jpeg_marker_at_end) {
  // Non-blocking, so an entry swapped for a FIFO meanwhile cannot hold the thread.
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Content::kPartial;
  UniqueFile stream(fdopen(fd, "rb"));
  if (!stream) {
    close(fd);
    return Content::kPartial;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
    return Content::kPartial;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  std::array<std::uint8_t, kBmpHeaderBytes> header{};
  const std::size_t got = std::fread(header.data(), 1, header.size(), stream.get());
  auto judged = [](bool whole) { return whole ? Content::kWhole : Content::kPartial; };
  if (got >= 2 && header[0] == 0xFF && header[1] == 0xD8) {
    return judged(JpegComplete(stream.get(), size, jpeg_marker_at_end));
  }
  if (got >= 2 && header[0] == 'B' && header[1] == 'M') {
    return judged(got == header.size() && BmpComplete(header.data(), size));
  }
  return Content::kUnknown;
}

}  // namespace

bool ImageLooksComplete(const std::filesystem::path& file) {
  return JudgeContent(file, /*jpeg_marker_at_end=*/false) != Content::kPartial;
}

bool WaitUntilComplete(const std::filesystem::path& file, std::stop_token stop,
                       const CompletenessLimits& limits) {
  const auto deadline = std::chrono::steady_clock::now() + limits.max_wait;
  std::optional<std::uint64_t> last_size;
  int same_size_checks = 0;
  // A JPEG that ends with its end marker and decodes, or a BMP as long as its headers say,
  // is whole: taking it at once keeps the way from capture to transfer short.
  if (JudgeContent(file, /*jpeg_marker_at_end=*/true) == Content::kWhole) return true;
  while (true) {
    const auto size = FileSize(file);
    if (!size) return false;
    same_size_checks = (size == last_size) ? same_size_checks + 1 : 1;
    last_size = size;
    if (same_size_checks >= limits.stable_checks && ImageLooksComplete(file)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    SleepUnlessStopped(stop, limits.check_interval);
    if (stop.stop_requested()) return false;
  }
}

}  // namespace velmarin
