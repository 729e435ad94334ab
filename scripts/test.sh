#!/usr/bin/env bash
# Installs what is missing, builds the default preset and runs the whole test suite.
# With a preset name as argument runs the suite in that build instead: "asan" (ASan +
# UBSan, the whole suite) or "tsan" (ThreadSanitizer, the threaded parts: monitoring
# control and the session bus, the switch layer, the folder monitor and the PACS outbox; the
# real XTest backend under Xvfb, the headless run's loop and the window's message boxes) or
# "fuzz" (builds every libFuzzer target with clang and gives each a short run, so a target that
# no longer builds or crashes at once is caught).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/install-deps.sh
# ccache makes building again cheap, in this clone or any other one of the repository.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
cmake --preset "$preset" >/dev/null
if [ "$preset" = tsan ]; then
  threaded=(control_tests switch_tests transfer_tests dicom_tests)
  # Of these only the cases whose threads run for real: XTest against an X server, the
  # program's own headless loop (the program is built with TSan too), the boxes that worker
  # messages raise in the window.
  declare -A filters=(
    [platform_tests]='XTestInput.*:XvfbInput.*'
    [cli_tests]='HeadlessMonitoring.*'
    [app_tests]='WindowTest.WorkerMessagesBecomeBoxes*'
  )
  cmake --build --preset tsan --target "${threaded[@]}" "${!filters[@]}" velmarin \
    velmarin-images velmarin-station
  export QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  for binary in "${threaded[@]}"; do "build/tsan/tests/$binary" --gtest_brief=1; done
  for binary in "${!filters[@]}"; do
    "build/tsan/tests/$binary" --gtest_brief=1 --gtest_filter="${filters[$binary]}"
  done
elif [ "$preset" = fuzz ]; then
  cmake --build --preset fuzz
  for target in build/fuzz/fuzz/*_fuzz; do
    "$target" -seed=1 -runs=100000 -max_total_time=10 -close_fd_mask=3
  done
else
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
fi
