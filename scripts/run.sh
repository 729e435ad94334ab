#!/usr/bin/env bash
# Installs what is missing, builds the program and runs its main job in the current folder
# (or the folder given with --dir): headless monitoring of the watch folder and the switch.
# Extra arguments go to velmarin, for example: scripts/run.sh --id 123456
set -euo pipefail
here="$(pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$root" && scripts/install-deps.sh && cmake --preset default >/dev/null &&
  cmake --build --preset default --target velmarin)
cd "$here"
exec "$root/build/default/src/velmarin" --headless "$@"
