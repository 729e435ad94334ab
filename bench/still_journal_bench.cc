// The journal of stills not yet sent with many stills waiting: the cost of keeping it up to
// date when one still leaves the line. Usage: still_journal_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <deque>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "transfer/still_journal.h"

namespace {

using velmarin::ArrivedStill;

std::vector<ArrivedStill> Stills(const std::filesystem::path& folder, int count) {
  std::vector<ArrivedStill> stills(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    ArrivedStill& still = stills[static_cast<std::size_t>(i)];
    const std::string name = "capture_" + std::to_string(100000 + i) + ".jpg";
    still.path = folder / name;
    still.identity = {name, static_cast<std::uint64_t>(1000 + i), 1'700'000'000'000'000'000 + i};
    still.creation_time_ns = still.identity.birth_time_ns;
    still.binding = {velmarin::Cp932Text("123456"), {2026, 3, 1, 12, 0, 0}, {}};
  }
  return stills;
}

void BM_JournalAfterOneTransfer(benchmark::State& state) {
  velmarin::test::TempDir dir;
  const velmarin::ProgramDir program_dir{dir.path(), velmarin::Cp932Text(dir.path().string())};
  velmarin::StillJournal journal(program_dir);
  const auto waiting = static_cast<std::size_t>(state.range(0));
  // Twice as many stills as wait: those that wait are a window moving over them.
  const std::vector<ArrivedStill> stills = Stills(dir / "watch", static_cast<int>(2 * waiting));
  std::deque<const ArrivedStill*> line;
  for (std::size_t i = 0; i < waiting; ++i) line.push_back(&stills[i]);
  journal.Write({line.begin(), line.end()});
  std::size_t next = waiting;
  for (auto _ : state) {
    // One still sent: it leaves the line, and a new one joins it at the end.
    line.pop_front();
    line.push_back(&stills[next++ % stills.size()]);
    if (!journal.Write({line.begin(), line.end()})) state.SkipWithError("journal not written");
  }
}
BENCHMARK(BM_JournalAfterOneTransfer)
    ->Arg(100)
    ->Arg(2000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
