#!/usr/bin/env bash
# A start while the share is down (run as root: it mounts). The server's disk is a tmpfs, bound
# on an empty folder, the transfer folder, which /etc/fstab does not name. A first run sees the
# share and stops; the share is unmounted; a second run starts, takes `stills` stills (moved
# into the watch folder, the program folder) and the share is bound again once the program
# has said what it does with them. Says how many images went onto the bare mount point, how
# many headless lines named an image the server does not hold, and how many copies of the
# stills the server holds once the share is back (at most `WAIT_LIMIT` tenths of a second
# after it was bound again, 100 by default).
#
# Usage: bench/share_down_at_start.sh [build-dir] [stills]    (defaults: build/default 3)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
stills=${2:-3}
velmarin=$build/src/velmarin
[ "$(id -u)" = 0 ] || { echo "run as root: the share is a tmpfs mounted for the test" >&2; exit 77; }
share= server=
source "$root/bench/station.sh" ffmpeg
share=$work/share
server=$work/server
mkdir "$share" "$server"
mount -t tmpfs velmarin-server "$server"
make_stills "$stills" 640x480 "$work/staging"
"$velmarin" --dir "$program" --set "TransferFolder=$share" >/dev/null

run() {
  : >"$work/out"
  : >"$work/err"
  DISPLAY= "$velmarin" --headless --dir "$program" --id 123456 >"$work/out" 2>"$work/err" &
  pid=$!
  wait_for "$work/err" "watching $program"
}
stop() {
  kill -TERM "$pid"
  wait "$pid" || true
  pid=
}

mount --bind "$server" "$share"
run
stop
umount "$share"

run
mv "$work/staging/"*.jpg "$program/"
# Either said waiting for the share, or said sent (onto the bare mount point).
wait_for "$work/err" "transfer folder not available" "$work/out" "$share" || true
if ! grep -q "transfer folder not available" "$work/err"; then
  for _ in $(seq 100); do
    [ "$(wc -l <"$work/out")" -ge "$stills" ] && break
    sleep 0.1
  done
fi
on_bare=$(find "$share" -type f -name '*.jpg' | wc -l)
mount --bind "$server" "$share"
WAIT_LIMIT=${WAIT_LIMIT:-100} wait_for "$work/err" "all waiting stills sent" || true
stop
false_lines=0
while IFS=$'\t' read -r _ target; do
  [ -f "$server/${target#"$share"/}" ] || false_lines=$((false_lines + 1))
done <"$work/out"
echo "$stills stills taken while the share was down at start:"
echo "  images on the bare mount point: $on_bare"
echo "  headless lines naming an image not on the server: $false_lines"
echo "  copies on the server once it was back: $(find "$server" -type f -name '*.jpg' | wc -l)"
grep -F "transfer folder not available" "$work/err" | head -1 || true
