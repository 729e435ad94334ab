#include "image/dib.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "base/little_endian.h"

namespace velmarin {
namespace {

bool BitCountSupported(int bit_count) {
  constexpr std::array kSupported = {1, 4, 8, 16, 24, 32};
  return std::ranges::find(kSupported, bit_count) != kSupported.end();
}

}  // namespace

BitmapInfoHeader BitmapInfoHeader::Parse(const std::uint8_t* b) {
  BitmapInfoHeader h;
  h.biSize = Get32(b);
  h.biWidth = static_cast<std::int32_t>(Get32(b + 4));
  h.biHeight = static_cast<std::int32_t>(Get32(b + 8));
  h.biPlanes = Get16(b + 12);
  h.biBitCount = Get16(b + 14);
  h.biCompression = Get32(b + 16);
  h.biSizeImage = Get32(b + 20);
  h.biXPelsPerMeter = static_cast<std::int32_t>(Get32(b + 24));
  h.biYPelsPerMeter = static_cast<std::int32_t>(Get32(b + 28));
  h.biClrUsed = Get32(b + 32);
  h.biClrImportant = Get32(b + 36);
  return h;
}

void BitmapInfoHeader::Serialize(std::uint8_t* b) const {
  Put32(b, biSize);
  Put32(b + 4, static_cast<std::uint32_t>(biWidth));
  Put32(b + 8, static_cast<std::uint32_t>(biHeight));
  Put16(b + 12, biPlanes);
  Put16(b + 14, biBitCount);
  Put32(b + 16, biCompression);
  Put32(b + 20, biSizeImage);
  Put32(b + 24, static_cast<std::uint32_t>(biXPelsPerMeter));
  Put32(b + 28, static_cast<std::uint32_t>(biYPelsPerMeter));
  Put32(b + 32, biClrUsed);
  Put32(b + 36, biClrImportant);
}

std::size_t DibStride(int bit_count, int width) {
  if (bit_count <= 0 || width <= 0) return 0;
  const std::uint64_t bits =
      static_cast<std::uint64_t>(bit_count) * static_cast<std::uint64_t>(width);
  return static_cast<std::size_t>((bits + 31) / 32 * 4);
}

bool DibSizeAllowed(std::int64_t width, std::int64_t height) {
  if (width < 0) width = -width;
  if (height < 0) height = -height;
  return width > 0 && height > 0 && width <= kMaxDimension && height <= kMaxDimension &&
         width * height <= kMaxPixels;
}

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// A block of at least this size is aligned for huge pages, and kept when given back.
constexpr std::size_t kLargeBlock = 2 * kHugePage;

std::size_t RoundedToHugePages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// The block of the last large picture given back, for the next one of its size.
struct SpareBlock {
  std::mutex mutex;
  void* memory = nullptr;
  std::size_t size = 0;
  std::chrono::steady_clock::time_point since;  // when it was given back
};

SpareBlock& Spare() {
  static SpareBlock spare;
  return spare;
}

// The spare block when it has `size`; otherwise it goes back to the system first, so no more
// than one picture's memory is ever held beside the pictures in use.
void* TakeSpare(std::size_t size) {
  SpareBlock& spare = Spare();
  const std::lock_guard lock(spare.mutex);
  void* memory = std::exchange(spare.memory, nullptr);
  if (memory != nullptr && spare.size == size) return memory;
  std::free(memory);
  return nullptr;
}

}  // namespace

void* AllocatePictureMemory(std::size_t bytes) {
  if (bytes >= kLargeBlock) {
    const std::size_t rounded = RoundedToHugePages(bytes);
    if (void* p = TakeSpare(rounded)) return p;
    if (void* p = std::aligned_alloc(kHugePage, rounded)) {
      madvise(p, rounded, MADV_HUGEPAGE);  // only advice: small pages work as well
      return p;
    }
  } else if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) {
    return p;
  }
  throw std::bad_alloc();
}

void ReleasePictureMemory(void* memory, std::size_t bytes) noexcept {
  if (memory != nullptr && bytes >= kLargeBlock) {
    SpareBlock& spare = Spare();
    const std::lock_guard lock(spare.mutex);
    if (spare.memory == nullptr) {
      spare.memory = memory;
      spare.size = RoundedToHugePages(bytes);
      spare.since = std::chrono::steady_clock::now();
      return;
    }
  }
  std::free(memory);
}

void ReleaseSparePictureMemory(std::chrono::steady_clock::duration kept_for,
                               std::chrono::steady_clock::time_point now) noexcept {
  SpareBlock& spare = Spare();
  const std::lock_guard lock(spare.mutex);
  if (spare.memory != nullptr && now - spare.since >= kept_for) {
    std::free(std::exchange(spare.memory, nullptr));
  }
}

std::size_t SparePictureBytes() noexcept {
  SpareBlock& spare = Spare();
  const std::lock_guard lock(spare.mutex);
  return spare.memory != nullptr ? spare.size : 0;
}

Dib::Dib(PictureBlock block) : block_(std::move(block)) {}

std::optional<Dib> Dib::Create(int width, int height, int bit_count,
                               std::uint32_t colour_table_entries, DibRows rows) {
  if (!BitCountSupported(bit_count) || !DibSizeAllowed(width, height) || width <= 0 ||
      height <= 0 || colour_table_entries > 256) {
    return std::nullopt;
  }
  const std::size_t stride = DibStride(bit_count, width);
  const std::size_t image_size = stride * static_cast<std::size_t>(height);
  const std::size_t table_size = std::size_t{colour_table_entries} * 4;
  PictureBlock block(BitmapInfoHeader::kSize + table_size + image_size);
  std::memset(block.data(), 0, BitmapInfoHeader::kSize + table_size);
  std::uint8_t* const pixels = block.data() + BitmapInfoHeader::kSize + table_size;
  if (rows == DibRows::kZeroed) {
    std::memset(pixels, 0, image_size);
  } else {
    const std::size_t used = (static_cast<std::size_t>(bit_count) * width + 7) / 8;
    for (int y = 0; y < height; ++y) std::memset(pixels + stride * y + used, 0, stride - used);
  }
  BitmapInfoHeader h;
  h.biSize = BitmapInfoHeader::kSize;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<std::uint16_t>(bit_count);
  h.biSizeImage = static_cast<std::uint32_t>(image_size);
  h.biClrUsed = colour_table_entries;
  h.Serialize(block.data());
  return Dib(std::move(block));
}

BitmapInfoHeader Dib::header() const { return BitmapInfoHeader::Parse(block_.data()); }

void Dib::SetHeader(const BitmapInfoHeader& header) { header.Serialize(block_.data()); }

bool Dib::valid() const {
  const BitmapInfoHeader h = header();
  if (!BitCountSupported(h.biBitCount) || h.biHeight <= 0 ||
      !DibSizeAllowed(h.biWidth, h.biHeight) || h.biWidth <= 0 || h.biClrUsed > 256) {
    return false;
  }
  const std::uint64_t needed =
      BitmapInfoHeader::kSize + std::uint64_t{h.biClrUsed} * 4 +
      std::uint64_t{DibStride(h.biBitCount, h.biWidth)} * static_cast<std::uint64_t>(h.biHeight);
  return needed <= block_.size();
}

int Dib::width() const { return header().biWidth; }

int Dib::height() const { return std::abs(header().biHeight); }

int Dib::bit_count() const { return header().biBitCount; }

std::size_t Dib::stride() const { return DibStride(bit_count(), width()); }

std::uint32_t Dib::colour_table_entries() const { return header().biClrUsed; }

std::uint8_t* Dib::color_table() { return block_.data() + BitmapInfoHeader::kSize; }
const std::uint8_t* Dib::color_table() const { return block_.data() + BitmapInfoHeader::kSize; }

std::uint8_t* Dib::pixels() { return color_table() + std::size_t{colour_table_entries()} * 4; }
const std::uint8_t* Dib::pixels() const {
  return color_table() + std::size_t{colour_table_entries()} * 4;
}

std::uint8_t* Dib::row(int i) { return pixels() + stride() * static_cast<std::size_t>(i); }
const std::uint8_t* Dib::row(int i) const {
  return pixels() + stride() * static_cast<std::size_t>(i);
}

}  // namespace velmarin
