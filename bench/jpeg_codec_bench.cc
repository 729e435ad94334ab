// Decoding and encoding speed of the capture pipeline's JPEG steps. Compare with
//   time (djpeg -bmp in.jpg | cjpeg -quality 100 > out.jpg)
// on the same picture: the conversion is meant to stay within 1.3 times of it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/dib_convert.h"
#include "image/jpeg_codec.h"

namespace velmarin {
namespace {

Dib MakePicture(int width, int height) {
  Dib dib = *Dib::Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = dib.row(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x ^ y);
      row[3 * x + 1] = static_cast<std::uint8_t>((x * y) >> 4);
      row[3 * x + 2] = static_cast<std::uint8_t>(x + 2 * y);
    }
  }
  return dib;
}

std::string Encode(const Dib& dib, int quality) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  WriteDibToJpeg(file, dib, quality, false);
  std::fclose(file);
  std::string bytes(buffer, size);
  std::free(buffer);
  return bytes;
}

std::optional<Dib> Decode(std::string& bytes) {
  std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  std::optional<Dib> dib = ReadJpegToDib(file);
  std::fclose(file);
  return dib;
}

void BM_ReadJpegToDib(benchmark::State& state) {
  std::string jpeg =
      Encode(MakePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))), 95);
  for (auto _ : state) benchmark::DoNotOptimize(Decode(jpeg));
}
BENCHMARK(BM_ReadJpegToDib)->Args({640, 480})->Args({4000, 3000})->Unit(benchmark::kMillisecond);

void BM_WriteDibToJpeg(benchmark::State& state) {
  const Dib dib = MakePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(Encode(dib, 100));
}
BENCHMARK(BM_WriteDibToJpeg)->Args({640, 480})->Args({4000, 3000})->Unit(benchmark::kMillisecond);

// The width normalisation without the file system: decode, resample, encode at 100.
void BM_NormalizeWidth(benchmark::State& state) {
  std::string jpeg = Encode(MakePicture(4001, 3000), 95);
  for (auto _ : state) {
    std::optional<Dib> dib = Decode(jpeg);
    ResampleDibNearest(dib->pixels(), 4001, 3000, 4000, 3000);
    BitmapInfoHeader header = dib->header();
    header.biWidth = 4000;
    dib->SetHeader(header);
    benchmark::DoNotOptimize(Encode(*dib, 100));
  }
}
BENCHMARK(BM_NormalizeWidth)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmarin

BENCHMARK_MAIN();
