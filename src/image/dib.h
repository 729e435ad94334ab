#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <utility>
#include <vector>

namespace velmarin {

// Memory for `bytes` of picture, given back with ReleasePictureMemory; throws std::bad_alloc.
void* AllocatePictureMemory(std::size_t bytes);
// Gives back what AllocatePictureMemory gave for `bytes`. The block of one large picture is
// kept for the next picture of the same size: memory fresh from the system costs the kernel a
// zeroing of every page, a tenth of the time of a 24-megapixel still in a burst.
void ReleasePictureMemory(void* memory, std::size_t bytes) noexcept;
// Gives the kept block back to the system once it has been kept for `kept_for` (at once with
// none), so a station that has gone idle does not hold a picture's worth of memory.
void ReleaseSparePictureMemory(
    std::chrono::steady_clock::duration kept_for = {},
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) noexcept;
// The size of the block kept now; 0 for none.
std::size_t SparePictureBytes() noexcept;

// Largest picture any reader accepts, checked against header values before anything is
// allocated, so a forged header cannot make us reserve gigabytes. 120 megapixels leaves
// room for 50-megapixel cameras and stays below 400 MB as a 24-bit bitmap.
inline constexpr std::int64_t kMaxPixels = 120'000'000;
inline constexpr int kMaxDimension = 65535;

// The Windows BITMAPINFOHEADER with its exact field widths.
struct BitmapInfoHeader {
  static constexpr std::size_t kSize = 40;

  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 0;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;

  // Little-endian serialisation; `bytes` holds at least kSize bytes.
  static BitmapInfoHeader Parse(const std::uint8_t* bytes);
  void Serialize(std::uint8_t* bytes) const;
  bool operator==(const BitmapInfoHeader&) const = default;
};

// Bytes per row: ((bit_count * width + 31) / 32) * 4. Zero for negative input; the
// arithmetic is 64-bit, so no int overflow happens for any int arguments.
std::size_t DibStride(int bit_count, int width);

// True when width and height (absolute) are within kMaxDimension and kMaxPixels.
bool DibSizeAllowed(std::int64_t width, std::int64_t height);

// The colour index of pixel `x` in a row of 1, 2, 4 or 8 bits a pixel; the leftmost pixel is
// in the high bits.
inline unsigned IndexAt(const std::uint8_t* row, int x, int bit_count) {
  const int bit = x * bit_count;
  return (row[bit / 8] >> (8 - bit_count - bit % 8)) & ((1u << bit_count) - 1);
}

// The memory of a Dib block. It is not zero-filled when allocated (Dib::Create writes what
// must be zero), and a large block is aligned for transparent huge pages and asks for them,
// so a 24-megapixel picture costs a few dozen page faults instead of eighteen thousand.
template <class T>
struct PictureAllocator {
  using value_type = T;
  PictureAllocator() = default;
  template <class U>
  PictureAllocator(const PictureAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocatePictureMemory(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { ReleasePictureMemory(p, n * sizeof(T)); }
  // Elements are left as they are, not value-initialised.
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const PictureAllocator<U>&) const noexcept {
    return true;
  }
};
using PictureBlock = std::vector<std::uint8_t, PictureAllocator<std::uint8_t>>;

// Whether Dib::Create zero-fills the pixel rows, or leaves them for a caller that writes every
// row at once (a decoder): then only the header, the colour table and the row padding are zero.
enum class DibRows { kZeroed, kOverwritten };

// A packed device-independent bitmap in one contiguous block: the 40-byte header, an
// optional colour table (biClrUsed entries of blue, green, red, reserved) and the pixel
// rows, bottom row first, each padded to the stride with zero bytes.
class Dib {
 public:
  // A zero-filled bitmap with its header filled (biSize 40, biPlanes 1, biSizeImage =
  // stride x height, biClrUsed = colour_table_entries). nullopt when the size is not
  // positive, exceeds the pixel limit, or bit_count is not 1, 4, 8, 16, 24 or 32.
  static std::optional<Dib> Create(int width, int height, int bit_count,
                                   std::uint32_t colour_table_entries = 0,
                                   DibRows rows = DibRows::kZeroed);

  BitmapInfoHeader header() const;
  // True when the header describes a bottom-up bitmap of a supported bit count within the
  // pixel limit and the block holds all of its colour table and rows. A header changed
  // through SetHeader may break this; every consumer checks it before touching rows.
  bool valid() const;
  // Rewrites the 40 header bytes only; the block keeps its size. Callers change fields
  // that do not move the rows (for example biWidth after a resample into fewer bytes).
  void SetHeader(const BitmapInfoHeader& header);

  int width() const;
  int height() const;  // number of rows (absolute value of biHeight)
  int bit_count() const;
  std::size_t stride() const;
  std::uint32_t colour_table_entries() const;

  std::uint8_t* color_table();
  const std::uint8_t* color_table() const;
  std::uint8_t* pixels();
  const std::uint8_t* pixels() const;
  // Row i in memory; row 0 is the bottom row of the picture.
  std::uint8_t* row(int i);
  const std::uint8_t* row(int i) const;

  const PictureBlock& block() const { return block_; }

 private:
  explicit Dib(PictureBlock block);

  PictureBlock block_;
};

}  // namespace velmarin
