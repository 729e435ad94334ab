#!/usr/bin/env bash
# Renders the program's windows to PNG files in DIR (offscreen, with the IPA fonts):
# main.png (the main window while monitoring), menu-file.png (its File menu), about.png,
# switch-event.png, naming.png, preview-640.png and preview-720.png (default settings),
# folder-browser.png (Qt's folder browser), box.png (a message box over the window: the note of
# a settings file saved in UTF-8), service.png (the box of a window started while the user
# service holds its folder), main-failed.png (a still given up) and closing.png (closed while
# a still is written).
# usage: scripts/screenshots.sh DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
mkdir -p "$1"
out="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target window_screenshots
QT_QPA_PLATFORM=offscreen build/default/tests/window_screenshots "$out"
echo "screenshots in $out: main.png menu-file.png about.png switch-event.png naming.png" \
  "preview-640.png preview-720.png folder-browser.png box.png service.png main-failed.png" \
  "closing.png"
