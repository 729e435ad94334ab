#!/usr/bin/env bash
# Installs what is missing, builds the default preset and runs the whole test suite.
# With a preset name as argument (asan, tsan) runs the suite in that build instead.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j2
