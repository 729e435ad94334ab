# Sourced by the scripts of bench/ that run the headless program on a station of their own:
# checks that `velmarin` (set by the caller) and the commands named as arguments exist, makes
# the work folder `work` (removed at the end, with the program `pid` killed if it still runs)
# and in it the program folder `program`, and gives `make_stills`, `wait_for` and
# `stop_when_sent`.
missing=()
[ -x "$velmarin" ] || missing+=("$velmarin (build it first)")
for command in "$@"; do
  command -v "$command" >/dev/null || missing+=("$command")
done
if [ ${#missing[@]} -gt 0 ]; then
  printf 'missing: %s\n' "${missing[@]}" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmarin-bench.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
  local folder
  for folder in "${share:-}" "${server:-}"; do  # what the caller mounted, if anything
    [ -n "$folder" ] && umount -l "$folder" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
program=$work/station
mkdir "$program"

# Makes $1 stills of the size $2 (WIDTHxHEIGHT), each one different (frames of ffmpeg's
# testsrc2), in the folder $3: still00001.jpg, still00002.jpg...
make_stills() {
  mkdir -p "$3"
  ffmpeg -loglevel error -f lavfi -i "testsrc2=size=$2:rate=25" -frames:v "$1" -q:v 3 \
    "$3/still%05d.jpg"
}

# Waits (at most $WAIT_LIMIT tenths of a second, 600 by default) until the file $1 holds the
# text $2, or the file $3 the text $4.
wait_for() {
  for _ in $(seq "${WAIT_LIMIT:-600}"); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    [ $# -gt 2 ] && grep -qF -- "$4" "$3" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# Stops the program `pid` (SIGTERM) once its journal is gone: every still was sent.
stop_when_sent() {
  for _ in $(seq 6000); do
    [ -e "$program/velmarin.journal" ] || break
    sleep 0.1
  done
  kill -TERM "$pid"
  wait "$pid" || true
  pid=
}
