#include "support/test_pictures.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "image/jpeg_codec.h"

namespace velmarin::test {
namespace {

void PutLe(std::string& bytes, std::size_t pos, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[pos + i] = static_cast<char>(value >> (8 * i));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

Dib PatternDib(int width, int height, int seed) {
  Dib dib = *Dib::Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = dib.row(y);
    for (int x = 0; x < width; ++x) {
      row[x * 3 + 0] = static_cast<std::uint8_t>(x * 4 + seed * 50);
      row[x * 3 + 1] = static_cast<std::uint8_t>(y * 4 + seed * 30);
      row[x * 3 + 2] = static_cast<std::uint8_t>((x + y) * 2 + seed * 70);
    }
  }
  return dib;
}

std::string JpegBytes(int width, int height, int seed) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&buffer, &size);
  const bool written = WriteDibToJpeg(stream, PatternDib(width, height, seed), 90, false);
  std::fclose(stream);
  std::string bytes = written ? std::string(buffer, size) : std::string();
  std::free(buffer);
  return bytes;
}

std::string BmpBytes(int width, int height, int seed) {
  const Dib dib = PatternDib(width, height, seed);
  const std::size_t pixels = dib.stride() * static_cast<std::size_t>(height);
  std::string bytes(54, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  PutLe(bytes, 2, static_cast<std::uint32_t>(54 + pixels), 4);
  PutLe(bytes, 10, 54, 4);
  PutLe(bytes, 14, 40, 4);
  PutLe(bytes, 18, static_cast<std::uint32_t>(width), 4);
  PutLe(bytes, 22, static_cast<std::uint32_t>(height), 4);
  PutLe(bytes, 26, 1, 2);
  PutLe(bytes, 28, 24, 2);
  bytes.append(reinterpret_cast<const char*>(dib.pixels()), pixels);
  return bytes;
}

std::optional<Dib> DecodeJpegFile(const std::filesystem::path& jpeg) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(jpeg.c_str(), "rb"));
  if (!file) return std::nullopt;
  return ReadJpegToDib(file.get());
}

}  // namespace velmarin::test
