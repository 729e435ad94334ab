#!/usr/bin/env bash
# A share that drops while a still is being processed (run as root: it mounts). The server's
# disk is a tmpfs, bound on an empty folder, the transfer folder; a large still is copied into
# the watch folder and the share is unmounted lazily (umount -l) once the program has checked
# the transfer folder and made the still's work file (bkup/444.jpg), while it edits the still,
# or `delay` seconds after the copy when a delay is given; then the share is bound again. The
# stills go straight into the transfer folder (NameFormat "$i06_$y$M$d_$r03", or TEMPLATE from
# the environment). Each round says whether the image went onto the bare mount point, whether
# the headless line named an image that is not on the server, whether the still was sent before
# the share dropped or waited for it (and the wait was said), and how many copies of the still
# the server holds in the end.
#
# Usage: bench/unmount_race.sh [build-dir] [rounds] [width] [height] [delay-seconds]
#        (defaults: build/default 15 4000 3000, no delay)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
rounds=${2:-15}
width=${3:-4000}
height=${4:-3000}
delay=${5:-}
velmarin=$build/src/velmarin
im_convert=${IM_CONVERT:-$(command -v convert-im6.q16 || command -v convert || echo convert)}
[ "$(id -u)" = 0 ] || { echo "run as root: the share is a tmpfs mounted for the test" >&2; exit 77; }
share= server=
source "$root/bench/station.sh" "$im_convert"
share=$work/share
server=$work/server
mkdir "$share" "$server"
mount -t tmpfs velmarin-server "$server"

"$im_convert" -size "${width}x${height}" plasma:fractal -quality 95 "$work/still.jpg"
"$velmarin" --dir "$program" --set "TransferFolder=$share" \
  --set "NameFormat=${TEMPLATE:-\$i06_\$y\$M\$d_\$r03}" >/dev/null

bare_rounds=0 false_rounds=0 silent_rounds=0 wrong_rounds=0 waited_rounds=0
for round in $(seq "$rounds"); do
  rm -f "$program"/*.jpg "$program/velmarin.journal" "$program/bkup/444.jpg"
  mount --bind "$server" "$share"
  : >"$work/out"
  : >"$work/err"
  DISPLAY= "$velmarin" --headless --dir "$program" --id 123456 >"$work/out" 2>"$work/err" &
  pid=$!
  wait_for "$work/err" "watching $program"
  cp "$work/still.jpg" "$program/.capture.tmp"
  mv "$program/.capture.tmp" "$program/capture$round.jpg"
  if [ -n "$delay" ]; then
    sleep "$delay"
  else
    for _ in $(seq 6000); do
      [ -e "$program/bkup/444.jpg" ] && break
      sleep 0.01
    done
  fi
  umount -l "$share"
  # The still is either said sent (before the share dropped, or onto the bare mount point) or
  # said waiting for its folder.
  wait_for "$work/err" "transfer folder not available" "$work/out" "$share" || true
  sleep 0.5
  on_bare=$(find "$share" -type f | wc -l)
  said_waiting=$(grep -c "transfer folder not available" "$work/err" || true)
  mount --bind "$server" "$share"
  # A still that waits goes once the share is back.
  [ "$said_waiting" -eq 0 ] || wait_for "$work/err" "all waiting stills sent" || true
  kill -TERM "$pid"
  wait "$pid" || true
  pid=
  umount "$share"
  leftover=$(find "$share" -type f | wc -l)  # on the bare mount point, seen after the unmount
  on_server=$(find "$server" -type f -name '*.jpg' | wc -l)
  # Headless lines that name an image the server does not hold.
  false_lines=0
  while IFS=$'\t' read -r _ target; do
    [ -f "$server/${target#"$share"/}" ] || false_lines=$((false_lines + 1))
  done <"$work/out"
  echo "round $round: on the bare mount point $((on_bare > leftover ? on_bare : leftover))," \
    "lines naming an image not on the server $false_lines," \
    "said waiting for the share $said_waiting, copies on the server $on_server"
  [ "$on_bare" -gt 0 ] || [ "$leftover" -gt 0 ] && bare_rounds=$((bare_rounds + 1))
  [ "$false_lines" -gt 0 ] && false_rounds=$((false_rounds + 1))
  [ "$said_waiting" -gt 0 ] && waited_rounds=$((waited_rounds + 1))
  [ "$said_waiting" -eq 0 ] && ! [ -s "$work/out" ] && silent_rounds=$((silent_rounds + 1))
  [ "$on_server" -ne 1 ] && wrong_rounds=$((wrong_rounds + 1))
  rm -rf "${share:?}"/* "${server:?}"/*
done
echo "$rounds rounds of a ${width}x${height} still, unmounted ${delay:-once its work file was made}${delay:+ s after it arrived}:"
echo "  the still waited for the share (it dropped before the still was sent): $waited_rounds"
echo "  image on the bare mount point: $bare_rounds"
echo "  headless line naming an image not on the server: $false_rounds"
echo "  neither sent nor said waiting: $silent_rounds"
echo "  not exactly one copy on the server: $wrong_rounds"
