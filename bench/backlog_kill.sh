#!/usr/bin/env bash
# More stills waiting than the journal once kept. The transfer folder is missing (a share that
# is down), so every still waits; the stills (640x480 frames of ffmpeg's testsrc2, each one
# different) are moved into the watch folder, and once the program says they all wait it is
# killed with SIGKILL. The next start finds the folder back and sends what its journal named.
# Counts the stills the journal held at the kill and the stills sent after the restart.
#
# Usage: bench/backlog_kill.sh [build-dir] [stills]      (defaults: build/default 2100)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
stills=${2:-2100}
velmarin=$build/src/velmarin
source "$root/bench/station.sh" ffmpeg
watch=$work/watch
share=$work/share
mkdir "$watch"

make_stills "$stills" 640x480 "$work/staging"
"$velmarin" --dir "$program" --set "WatchFolder=$watch" --set "TransferFolder=$share" \
  --set EvacuateAtStartup=0 >/dev/null

export WAIT_LIMIT=6000  # ten minutes

DISPLAY= "$velmarin" --headless --dir "$program" --id 123456 >"$work/out1" 2>"$work/err1" &
pid=$!
wait_for "$work/err1" "watching $watch"
mv "$work/staging/"*.jpg "$watch/"
wait_for "$work/err1" "$stills stills waiting"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
pid=
journal=$program/velmarin.journal
if head -1 "$journal" | grep -q "journal 1"; then
  held=$(($(wc -l <"$journal") - 2))
else
  held=$(($(grep -c "^still" "$journal") - $(grep -c "^left" "$journal" || true)))
fi

mkdir -p "$share"
DISPLAY= "$velmarin" --headless --dir "$program" --id 999 >"$work/out2" 2>"$work/err2" &
pid=$!
wait_for "$work/err2" "watching $watch"
stop_when_sent
sent=$(find "$share" -name '*.jpg' | wc -l)
echo "$stills stills waiting at the kill: the journal held $held; sent after the restart: $sent"
grep -F "velmarin:" "$work/err2" | grep -v "watching\|監視中" | sort | uniq -c | head -5 || true
