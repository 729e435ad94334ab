// Cost of the image pipeline in this process, against the floor of one plain libjpeg decode
// and one encode of the same picture:
//   Floor         decode the source JPEG (in memory) and encode it again at quality 95 into a
//                 file, rewritten in place by stdio each run: that write makes it no true
//                 floor (the pipeline writes a fresh temporary), which tjbench gives in
//                 bench/speed_table.sh;
//   Process       ProcessCapturedImage with the default settings (bands, two stamps, 95);
//   Cycle         NormalizeJpegWidth into the work file, then ProcessCapturedImage;
//   BmpCycle      ConvertBmpToJpeg (quality 99), then the Cycle.
// Sources are gradients with noise, written at quality 95, in a private temporary folder.
#include <benchmark/benchmark.h>

#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_fd.h"
#include "image/capture_processing.h"
#include "image/dib.h"
#include "image/gui_context.h"
#include "image/jpeg_files.h"
#include "naming/local_time.h"
#include "settings/settings.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr int kQuality = 95;
constexpr velmarin::LocalTime kNow{2012, 9, 28, 14, 5, 9};

// The private folder of the run, removed at exit.
const velmarin::test::TempDir& Space() {
  static const velmarin::test::TempDir space;
  return space;
}

// Gradients in all three channels with noise on top, so the encoder has real work.
velmarin::Dib TexturedPicture(int width, int height) {
  velmarin::Dib dib = *velmarin::Dib::Create(width, height, 24);
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = dib.row(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        noise = noise * 1664525u + 1013904223u;
        const int base = c == 0   ? x * 255 / width
                         : c == 1 ? y * 255 / height
                                  : (x + y) * 127 / (width + height) + 64;
        const int value = base + static_cast<int>(noise >> 27) - 16;
        row[3 * x + c] = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
  return dib;
}

fs::path JpegSource(int width, int height) {
  const fs::path path =
      Space().path() / ("source_" + std::to_string(width) + "x" + std::to_string(height) + ".jpg");
  if (!fs::exists(path)) {
    velmarin::WriteJpegFileAtomically(path, TexturedPicture(width, height), kQuality, false);
  }
  return path;
}

fs::path BmpSource(int width, int height) {
  const fs::path path = Space().path() / ("source_" + std::to_string(width) + ".bmp");
  if (!fs::exists(path)) velmarin::test::WriteBmp24(path, TexturedPicture(width, height));
  return path;
}

velmarin::Settings DefaultSettings() {
  return velmarin::DefaultSettings(velmarin::Cp932Text(Space().path().string()));
}

// One plain decode into packed RGB rows and one encode of those rows, libjpeg only, as fast as
// the library goes: the source `in` decoded from memory (its stdio source holds too little for
// its fast Huffman path), into `pixels`, kept from run to run so no run pays for fresh memory.
bool DecodeEncode(const std::string& in, const fs::path& target, std::vector<JSAMPLE>& pixels) {
  const velmarin::UniqueFile out(std::fopen(target.c_str(), "wb"));
  if (in.empty() || !out) return false;
  jpeg_error_mgr errors;
  jpeg_decompress_struct decoder;
  decoder.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decoder);
  jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(in.data()),
               static_cast<unsigned long>(in.size()));
  jpeg_read_header(&decoder, TRUE);
  jpeg_start_decompress(&decoder);
  const std::size_t stride = std::size_t{decoder.output_width} * 3;
  pixels.resize(stride * decoder.output_height);
  // Sixteen rows a call, as the library's upsampling and downsampling work in such groups.
  JSAMPROW rows[16];
  const auto point_rows = [&](JDIMENSION first, JDIMENSION height) {
    const JDIMENSION count = std::min<JDIMENSION>(16, height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = pixels.data() + stride * (first + i);
    return count;
  };
  while (decoder.output_scanline < decoder.output_height) {
    jpeg_read_scanlines(&decoder, rows, point_rows(decoder.output_scanline, decoder.output_height));
  }
  jpeg_compress_struct encoder;
  encoder.err = &errors;
  jpeg_create_compress(&encoder);
  jpeg_stdio_dest(&encoder, out.get());
  encoder.image_width = decoder.output_width;
  encoder.image_height = decoder.output_height;
  encoder.input_components = 3;
  encoder.in_color_space = JCS_RGB;
  jpeg_set_defaults(&encoder);
  jpeg_set_quality(&encoder, kQuality, TRUE);
  jpeg_start_compress(&encoder, TRUE);
  while (encoder.next_scanline < encoder.image_height) {
    jpeg_write_scanlines(&encoder, rows, point_rows(encoder.next_scanline, encoder.image_height));
  }
  jpeg_finish_compress(&encoder);
  jpeg_destroy_compress(&encoder);
  jpeg_finish_decompress(&decoder);
  jpeg_destroy_decompress(&decoder);
  return true;
}

void SetPixels(benchmark::State& state) {
  state.counters["Mpixel/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * state.range(0) * state.range(1) / 1e6,
      benchmark::Counter::kIsRate);
}

void BM_Floor(benchmark::State& state) {
  const std::string source =
      velmarin::test::ReadFileBytes(JpegSource(state.range(0), state.range(1)));
  const fs::path target = Space().path() / "floor.jpg";
  std::vector<JSAMPLE> pixels;
  for (auto _ : state) {
    if (!DecodeEncode(source, target, pixels)) state.SkipWithError("decode/encode failed");
  }
  SetPixels(state);
}

void BM_Process(benchmark::State& state) {
  const fs::path source = JpegSource(state.range(0), state.range(1));
  const fs::path target = Space().path() / "process.jpg";
  const velmarin::Settings settings = DefaultSettings();
  for (auto _ : state) {
    if (!velmarin::ProcessCapturedImage(source, target, settings, "123456", kNow).ok()) {
      state.SkipWithError("processing failed");
    }
  }
  SetPixels(state);
}

void BM_Cycle(benchmark::State& state) {
  const fs::path source = JpegSource(state.range(0), state.range(1));
  const fs::path work = Space().path() / "444.jpg";
  const fs::path target = Space().path() / "cycle.jpg";
  const velmarin::Settings settings = DefaultSettings();
  for (auto _ : state) {
    if (!velmarin::NormalizeJpegWidth(source, work).ok() ||
        !velmarin::ProcessCapturedImage(work, target, settings, "123456", kNow).ok()) {
      state.SkipWithError("cycle failed");
    }
  }
  SetPixels(state);
}

void BM_BmpCycle(benchmark::State& state) {
  const fs::path source = BmpSource(state.range(0), state.range(1));
  const fs::path temp = Space().path() / "temp.jpg";
  const fs::path work = Space().path() / "444.jpg";
  const fs::path target = Space().path() / "bmp_cycle.jpg";
  const velmarin::Settings settings = DefaultSettings();
  for (auto _ : state) {
    if (!velmarin::ConvertBmpToJpeg(source, temp, 99).ok() ||
        !velmarin::NormalizeJpegWidth(temp, work).ok() ||
        !velmarin::ProcessCapturedImage(work, target, settings, "123456", kNow).ok()) {
      state.SkipWithError("BMP cycle failed");
    }
  }
  SetPixels(state);
}

void Sizes(benchmark::internal::Benchmark* bench) {
  bench->Args({640, 480})->Args({1920, 1080})->Args({6000, 4000});
  bench->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Floor)->Apply(Sizes);
BENCHMARK(BM_Process)->Apply(Sizes);
BENCHMARK(BM_Cycle)->Apply(Sizes);
BENCHMARK(BM_BmpCycle)->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  velmarin::EnsureGuiApplication(velmarin::DisplayUse::kNever);
  if (Space().path().empty()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
