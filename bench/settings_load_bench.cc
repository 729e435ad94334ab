// Loading "velmarin.ini" holding one very long line: the cost grows with the file's size, not
// with its square. Usage: settings_load_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <string>

#include "settings/settings_file.h"

namespace {

void BM_ParseOneLongLine(benchmark::State& state) {
  const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
  const std::string file = "Key Event:" + std::string(bytes, 'a') + "\r\n";
  for (auto _ : state) {
    velmarin::Settings settings =
        velmarin::ParseSettingsFile(file, velmarin::Cp932Text("/srv/station"));
    benchmark::DoNotOptimize(settings);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ParseOneLongLine)->Arg(1)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
