#!/usr/bin/env bash
# kill -9 during a backlog, again and again. Each round starts the headless program, moves a
# few stills (1920x1080 frames of ffmpeg's testsrc2, each one different) into the watch folder
# at once and kills the program with SIGKILL after a random moment while it works through
# them; the next round starts it again. Last, one run takes what is left and is stopped
# once its journal is gone. Then the transfer folder is counted: images, images sent twice
# (the same bytes: a still sent again carries the ID and clock it arrived with), and the kills
# that left one of the program's temporaries in the transfer folder which the next start did
# not remove.
# Stills that arrived but were not yet journalled when the kill came are present at the next
# start and so are not taken (they are not counted as sent twice).
#
# Usage: bench/crash_loop.sh [build-dir] [rounds] [stills-per-round] [longest-wait-ms]
#        (defaults: build/default 60 5 1500)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
rounds=${2:-60}
per_round=${3:-5}
longest_ms=${4:-1500}
velmarin=$build/src/velmarin
source "$root/bench/station.sh" ffmpeg
watch=$work/watch
staging=$work/staging
mkdir "$watch"

make_stills $((rounds * per_round)) 1920x1080 "$staging"
"$velmarin" --dir "$program" --set "WatchFolder=$watch" --set EvacuateAtStartup=0 >/dev/null

start() {
  : >"$work/err"
  DISPLAY= "$velmarin" --headless --dir "$program" --id 123456 >>"$work/out" 2>"$work/err" &
  pid=$!
  wait_for "$work/err" "watching $watch"
}
temporaries() { find "$program/hozon" -name '.*.velmarin-*' 2>/dev/null || true; }
# After a start: whether a temporary the killed run left is still there.
left_behind() {
  local file
  for file in $left; do
    [ -e "$file" ] && return 0
  done
  return 1
}

moved=0 left_kills=0 kept_kills=0 left=
for round in $(seq "$rounds"); do
  start
  left_behind && kept_kills=$((kept_kills + 1))
  for _ in $(seq "$per_round"); do
    moved=$((moved + 1))
    mv "$staging/$(printf 'still%05d.jpg' "$moved")" "$watch/"
  done
  wait_ms=$((RANDOM % longest_ms))
  sleep "$((wait_ms / 1000)).$(printf '%03d' $((wait_ms % 1000)))"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
  left=$(temporaries)
  [ -n "$left" ] && left_kills=$((left_kills + 1))
done
start
left_behind && kept_kills=$((kept_kills + 1))
stop_when_sent

images=$(find "$program/hozon" -name '*.jpg' | wc -l)
distinct=$(find "$program/hozon" -name '*.jpg' -exec sha256sum {} + | cut -d' ' -f1 | sort -u | wc -l)
echo "$rounds rounds, $moved stills moved in, killed 0 to $longest_ms ms after the last one:"
echo "  images in the transfer folder: $images, distinct: $distinct"
echo "  sent twice: $((images - distinct))"
echo "  never sent (arrived, not yet journalled, at a kill): $((moved - distinct))"
echo "  kills that left a temporary in the transfer folder: $left_kills;" \
  "the next start kept it: $kept_kills"
