#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it in the current folder (or the
# folder given with --dir): the window when an X display (X11 or XWayland) can be reached,
# else headless monitoring of the watch folder and the switch until Ctrl+C.
# Extra arguments go to velmarin, for example: scripts/run.sh --id 123456
set -euo pipefail
here="$(pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
(cd "$root" && scripts/install-deps.sh && cmake --preset default >/dev/null &&
  cmake --build --preset default --target velmarin)
cd "$here"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$root/build/default/src/velmarin" "$@"
fi
exec "$root/build/default/src/velmarin" --headless "$@"
