// What the scan of a folder without events costs in the program itself, on a local folder
// of N old files (the FUSE or network round trips come on top: listed_folder_bench):
//   quiet:   a scan of a folder whose time has not moved (the cost of every idle cycle);
//   changed: a scan after one file was saved (the listing of names and inode numbers, and
//            the look at the one new file).
// Usage: watch_folder_scanner_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"
#include "transfer/watch_folder_scanner.h"

namespace {

namespace fs = std::filesystem;

void Fill(const fs::path& folder, int files) {
  for (int n = 0; n < files; ++n) {
    std::ofstream(folder / ("old" + std::to_string(n) + ".jpg"), std::ios::binary) << "old";
  }
}

void BM_QuietFolder(benchmark::State& state) {
  const velmarin::test::TempDir dir;
  Fill(dir.path(), static_cast<int>(state.range(0)));
  velmarin::test::Age(dir.path());
  velmarin::WatchFolderScanner scanner;
  scanner.Scan(dir.path());
  for (auto _ : state) benchmark::DoNotOptimize(scanner.Scan(dir.path()));
}
BENCHMARK(BM_QuietFolder)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);

void BM_OneNewFile(benchmark::State& state) {
  const velmarin::test::TempDir dir;
  Fill(dir.path(), static_cast<int>(state.range(0)));
  velmarin::WatchFolderScanner scanner;
  scanner.Scan(dir.path());
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::ofstream(dir / ("new" + std::to_string(n++) + ".jpg"), std::ios::binary) << "new";
    state.ResumeTiming();
    const auto changes = scanner.Scan(dir.path());
    if (!changes || changes->changed.size() != 1) state.SkipWithError("the new file was missed");
  }
}
BENCHMARK(BM_OneNewFile)->Arg(10'000)->Arg(100'000)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
