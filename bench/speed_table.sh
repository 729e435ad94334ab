#!/usr/bin/env bash
# Prints in one run where the time of a still goes, beside the targets:
#   the image road at 1080p and 24 MP: `velmarin --transfer` (the monitor's road as a whole
#     process), `velmarin --process` (the edit alone), `djpeg | cjpeg -quality 95`, ImageMagick
#     doing the same fill and stamps, and the floor of one decode plus one q95 encode in
#     process (tjbench); min/median wall ms and each median over the floor and over djpeg|cjpeg;
#   a headless station (bench/headless_monitor_bench): a 24 MP still's latency, stills per
#     second when ten arrive at once, its peak memory;
#   the serial search with 0, 10,000 and 50,000 images of one template in the transfer
#     folder: `--next-name`, and a 1080p still's latency through a station;
#   the start-up of the one-shot commands: wall time, and the libraries loaded and symbols
#     relocated over the whole run, dlopen included (LD_DEBUG=files,statistics);
#   peak memory (max RSS) against the decoded picture.
# Sources are gradients with noise, written by cjpeg at quality 95 (4:2:0), made afresh in a
# private temporary folder. Builds nothing: pass the build folder that holds src/velmarin and
# bench/headless_monitor_bench. About three minutes; --quick runs small pictures once each, to
# see that everything works (the figures then mean nothing).
#
# Usage: bench/speed_table.sh [build-dir] [--quick]      (default: build/default)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/default
quick=false
for arg in "$@"; do
  case $arg in
    --quick) quick=true ;;
    *) build=$(cd "$arg" && pwd) ;;
  esac
done
velmarin=$build/src/velmarin
station_bench=$build/bench/headless_monitor_bench

if $quick; then
  sizes=(320x240 640x480) runs=2 big_runs=2 stills=1 burst=2 counts=(0 100) tjtime=0.05
else
  sizes=(1920x1080 6000x4000) runs=10 big_runs=5 stills=10 burst=10 counts=(0 10000 50000)
  tjtime=1
fi

# ImageMagick itself, not a wrapper script that may stand in front of it on the PATH.
im_convert=${IM_CONVERT:-$(command -v convert-im6.q16 || command -v convert || true)}
missing=()
[ -x "$velmarin" ] || missing+=("$velmarin (build it first)")
[ -x "$station_bench" ] || missing+=("$station_bench (build it first)")
[ -n "$im_convert" ] || missing+=("convert (Debian package imagemagick)")
for tool in djpeg cjpeg tjbench; do
  command -v $tool >/dev/null || missing+=("$tool (Debian package libjpeg-turbo-progs)")
done
command -v hyperfine >/dev/null || missing+=("hyperfine (Debian package hyperfine)")
[ -x /usr/bin/time ] || missing+=("/usr/bin/time (Debian package time)")
if [ ${#missing[@]} -gt 0 ]; then
  printf 'missing: %s\n' "${missing[@]}" >&2
  exit 1
fi
mincho=$(fc-match -f '%{file}' IPAMincho)

work=$(mktemp -d /tmp/velmarin-speed.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

# --- Helpers -------------------------------------------------------------------------------

# "MIN MEDIAN" wall ms of `runs` runs after one warm-up (hyperfine, no shell in between).
# Arguments: runs, a command run before each (may be empty), the command line.
timed() {
  local args=(-N --style none --runs "$1" --warmup 1 --command-name timed
    --export-csv "$work/timed.csv")
  [ -n "$2" ] && args+=(--prepare "$2")
  hyperfine "${args[@]}" "$3" >/dev/null 2>"$work/timed.err" || {
    echo "failed: $3" >&2
    cat "$work/timed.err" >&2
    exit 1
  }
  awk -F, 'NR == 2 { printf "%.1f %.1f\n", $7 * 1000, $4 * 1000 }' "$work/timed.csv"
}

# Peak resident memory of one run of a command line, in MiB.
peak_mib() {
  /usr/bin/time -f %M -o "$work/peak" sh -c "$1" >/dev/null 2>&1 || {
    echo "failed: $1" >&2
    exit 1
  }
  awk '{ v = $1 } END { printf "%.1f\n", v / 1024 }' "$work/peak"
}

# "LIBRARIES RELOCATIONS" of one run: the shared objects loaded and the symbols the dynamic
# loader relocated, over the whole run (dlopen included).
loaded() {
  rm -f "$work"/ld.*
  # A subshell execs the command itself, so no other program's loader writes there.
  # shellcheck disable=SC2086
  (export LD_DEBUG=files,statistics LD_DEBUG_OUTPUT=$work/ld && exec $1) >/dev/null 2>&1 || true
  cat "$work"/ld.* | awk '
    /generating link map/ { libraries++ }
    /final number of relocations:/ { relocations = $NF }
    END { printf "%d %d\n", libraries, relocations }'
}

# "PASS" or "MISS" for a condition given to awk over the variables a and b.
verdict() {
  awk -v a="$1" -v b="$2" "BEGIN { print (($3) ? \"PASS\" : \"MISS\") }"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }

# A noisy gradient picture of WxH as a quality 95 JPEG (cjpeg's default 4:2:0) and as the PPM
# it was made from.
make_source() {
  local w=${1%x*} h=${1#*x}
  "$im_convert" -size "${h}x${w}" gradient:'#2050a0-#e0c040' -rotate 90 \
    \( -size "${w}x${h}" gradient:'#800000-#008080' \) -compose blend \
    -define compose:args=50 -composite -attenuate 0.35 +noise Gaussian "ppm:source_$1.ppm"
  cjpeg -quality 95 "source_$1.ppm" >"source_$1.jpg"
}

# ImageMagick's command line for the edit of the default settings: bands x 0-19,
# x W-20..W-1, y 0-22, y H-23..H-1 in 0x646464; 20-pixel IPAMincho stamps in white on grey
# cells at (5,3) and (5,H-22); quality 95 in 4:2:0 as velmarin writes.
convert_edit() {
  local w=${1%x*} h=${1#*x}
  printf '%q ' "$im_convert" "source_$1.jpg" -fill '#646464' -stroke none \
    -draw "rectangle 0,0 19,$((h - 1))" -draw "rectangle $((w - 20)),0 $((w - 1)),$((h - 1))" \
    -draw "rectangle 0,0 $((w - 1)),22" -draw "rectangle 0,$((h - 23)) $((w - 1)),$((h - 1))" \
    -font "$mincho" -pointsize 20 -density 72 -gravity NorthWest -undercolor '#646464' \
    -fill white -annotate +5+3 "ID:123456 $(date '+%Y.%m.%d %H:%M:%S')" \
    -annotate "+5+$((h - 22))" 'Pellandor TEL:000-000-0000' -sampling-factor 2x2,1x1,1x1 \
    -quality 95 im_out.jpg
}

# The floor in ms: tjbench's decode of the source plus its q95 4:2:0 encode of the pixels.
floor_ms() {
  local w=${1%x*} h=${1#*x} decode encode
  decode=$(tjbench "source_$1.jpg" -quiet -nowrite -benchtime $tjtime -warmup 0.1 |
    awk 'NF > 5 { v = $NF } END { print v }')
  encode=$(tjbench "source_$1.ppm" 95 -subsamp 420 -componly -quiet -nowrite \
    -benchtime $tjtime -warmup 0.1 | awk 'NF > 5 { v = $(NF - 2) } END { print v }')
  awk -v px="$((w * h))" -v d="$decode" -v e="$encode" \
    'BEGIN { printf "%.1f\n", px / 1e3 / d + px / 1e3 / e }'
}

# The station bench's figures: "LATENCY_MIN LATENCY_MEDIAN RATE PEAK_MIB" (RATE 0 without a
# burst).
station() {
  "$station_bench" "$velmarin" "$@" >"$work/station.out" || {
    cat "$work/station.out" >&2
    exit 1
  }
  awk '/latency over/ { sub(/,/, "", $7); lmin = $7; lmed = $10 }
       /^burst:/ { rate = $(NF - 1) }
       /^peak memory:/ { peak = $3 }
       END { printf "%s %s %s %s\n", lmin, lmed, (rate == "" ? 0 : rate), peak }' \
    "$work/station.out"
}

# --- Measurements --------------------------------------------------------------------------

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
program=$work/program
mkdir -p "$program"
"$velmarin" --dir "$program" --settings >/dev/null
out=$work/out.jpg
declare -A t p d im fl pk_t pk_p
for size in "${sizes[@]}"; do
  make_source "$size"
  src=$work/source_$size.jpg
  n=$runs
  [ "$size" = "${sizes[1]}" ] && n=$big_runs
  t[$size]=$(timed "$n" "rm -rf $program/hozon" \
    "$velmarin --dir $program --id 123456 --transfer $src")
  p[$size]=$(timed "$n" "" "$velmarin --dir $program --id 123456 --process $src $out")
  d[$size]=$(timed "$n" "" "sh -c 'djpeg $src | cjpeg -quality 95 > $work/djcj.jpg'")
  im[$size]=$(timed "$n" "" "sh -c '$(convert_edit "$size" | sed "s/'/'\\\\''/g")'")
  fl[$size]=$(floor_ms "$size")
  pk_t[$size]=$(peak_mib "$velmarin --dir $program --id 123456 --transfer $src")
  pk_p[$size]=$(peak_mib "$velmarin --dir $program --id 123456 --process $src $out")
done
small=${sizes[0]} big=${sizes[1]}
read -r st_lmin st_lmed st_rate st_peak < <(station --picture "$work/source_$big.jpg" \
  --stills "$stills" --burst "$burst")

declare -A nn lat
for count in "${counts[@]}"; do
  folder=$work/serial_$count
  mkdir -p "$folder/hozon"
  # shellcheck disable=SC2016  # the template's own dollars
  "$velmarin" --dir "$folder" --set 'NameFormat=$i06_$r05'
  (cd "$folder/hozon" && seq -f '000001_%05g.jpg' 1 "$count" | xargs -r touch)
  # Filled before the searches, as a station's folder is: not within the clock step of the
  # first one, whose start (the warm-up's listing) the timed runs then take from the cache.
  touch -d '1 minute ago' "$folder/hozon"
  nn[$count]=$(timed "$runs" "" "$velmarin --dir $folder --id 1 --next-name")
  lat[$count]=$(station --picture "$work/source_$small.jpg" --stills "$stills" \
    --transfer-files "$count")
done

"$im_convert" -size 64x64 xc:'#808080' ppm:- | cjpeg -quality 95 >tiny.jpg
startup_names=(--help --next-name --settings --set "--process 64x64")
startup_lines=(
  "$velmarin --help"
  "$velmarin --dir $program --id 1 --next-name"
  "$velmarin --dir $program --settings"
  "$velmarin --dir $program --set JpegQuality=95"
  "$velmarin --dir $program --id 1 --process $work/tiny.jpg $out"
)
declare -a su ld
for i in "${!startup_lines[@]}"; do
  su[i]=$(timed "$((runs * 2))" "" "${startup_lines[$i]}")
  ld[i]=$(loaded "${startup_lines[$i]}")
done
base=$(peak_mib "$velmarin --dir $program --id 1 --process $work/tiny.jpg $out")

# --- The table -----------------------------------------------------------------------------

median() { echo "${1#* }"; }
minmed() { printf '%.0f/%.0f' "${1% *}" "${1#* }"; }
mib_of() { local w=${1%x*} h=${1#*x}; awk -v px="$((w * h))" 'BEGIN { printf "%.1f", px * 3 / 1048576 }'; }

echo "Velmarin speed table: $velmarin"
echo "$(git -C "$root" describe --always --dirty 2>/dev/null || echo '?'), $(nproc) cores," \
  "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), load $load_before;" \
  "min/median wall ms of $runs runs (${big}: $big_runs)"
echo
printf '%-44s %-28s %-28s\n' "The image road" "$small" "$big"
printf '%-44s %-28s %-28s\n' "" "ms       /floor /djpeg|cjpeg" "ms       /floor /djpeg|cjpeg"
image_row() {
  local name=$1 small_figures=$2 big_figures=$3
  printf '%-44s ' "$name"
  for pair in "$small:$small_figures" "$big:$big_figures"; do
    local size=${pair%%:*} figures=${pair#*:}
    printf '%-9s %-6s %-11s ' "$(minmed "$figures")" \
      "$(ratio "$(median "$figures")" "${fl[$size]}")" \
      "$(ratio "$(median "$figures")" "$(median "${d[$size]}")")"
  done
  echo
}
image_row "velmarin --transfer (the monitor's road)" "${t[$small]}" "${t[$big]}"
image_row "velmarin --process (the edit alone)" "${p[$small]}" "${p[$big]}"
image_row "djpeg | cjpeg -quality 95" "${d[$small]}" "${d[$big]}"
image_row "ImageMagick, the same fill and stamps" "${im[$small]}" "${im[$big]}"
printf '%-44s %-28s %-28s\n' "tjbench decode + q95 encode (the floor)" "${fl[$small]}" \
  "${fl[$big]}"
transfer_big=$(median "${t[$big]}") transfer_small=$(median "${t[$small]}")
printf '  %-42s %s\n' "--transfer at $big over the floor" \
  "$(ratio "$transfer_big" "${fl[$big]}"), target <= 1.3x: $(verdict "$transfer_big" "${fl[$big]}" 'a <= 1.3 * b')"
printf '  %-42s %s\n' "--transfer at $small over djpeg|cjpeg" \
  "$(ratio "$transfer_small" "$(median "${d[$small]}")"), target <= 2x: $(verdict "$transfer_small" "$(median "${d[$small]}")" 'a <= 2 * b')"
echo
echo "A station (--headless), $big stills"
printf '  %-42s %-28s %s\n' "latency over $stills, min/median ms" \
  "$(minmed "$st_lmin $st_lmed") $(ratio "$st_lmed" "${fl[$big]}") floor" \
  "target <= 1.3x floor: $(verdict "$st_lmed" "${fl[$big]}" 'a <= 1.3 * b')"
printf '  %-42s %-28s %s\n' "stills per second, $burst at once" "$st_rate" \
  "target >= 3.5: $(verdict "$st_rate" 0 'a >= 3.5')"
echo
printf '%-44s ' "The serial search (\$i06_\$r05)"
for count in "${counts[@]}"; do printf '%-14s' "$count files"; done
echo
printf '  %-42s ' "--next-name, min/median ms"
for count in "${counts[@]}"; do printf '%-14s' "$(minmed "${nn[$count]}")"; done
last=${counts[-1]}
search=$(awk -v a="$(median "${nn[$last]}")" -v b="$(median "${nn[0]}")" \
  'BEGIN { printf "%.1f", a - b }')
echo "search at $last: ${search} ms, target <= 5: $(verdict "$search" 0 'a <= 5')"
printf '  %-42s ' "a station's latency, min/median ms"
for count in "${counts[@]}"; do printf '%-14s' "$(minmed "${lat[$count]% * *}")"; done
lat_last=$(echo "${lat[$last]}" | cut -d' ' -f2) lat_empty=$(echo "${lat[0]}" | cut -d' ' -f2)
echo "$(ratio "$lat_last" "$lat_empty") of empty, target <= 1.10x:" \
  "$(verdict "$lat_last" "$lat_empty" 'a <= 1.1 * b')"
echo
printf '%-44s %-12s %-10s %-12s %s\n' "Start-up of one-shot commands" "ms" "libraries" \
  "relocations" "target"
for i in "${!startup_names[@]}"; do
  target=""
  case ${startup_names[$i]} in
    --next-name | --settings) target="<= 15 ms: $(verdict "$(median "${su[$i]}")" 0 'a <= 15')" ;;
    --process*) target="<= 35 ms: $(verdict "$(median "${su[$i]}")" 0 'a <= 35')" ;;
  esac
  read -r libs relocations <<<"${ld[$i]}"
  printf '  %-42s %-12s %-10s %-12s %s\n' "${startup_names[$i]}" "$(minmed "${su[$i]}")" "$libs" \
    "$relocations" "$target"
done
echo
printf '%-44s %-14s %-14s %s\n' "Peak memory (max RSS, MiB)" "$small" "$big" \
  "target at $big: <= 1.5 x decoded + base"
printf '  %-42s %-14s %-14s\n' "decoded picture (w x h x 3)" "$(mib_of "$small")" "$(mib_of "$big")"
printf '  %-42s %-14s\n' "base: --process 64x64" "$base"
limit=$(awk -v m="$(mib_of "$big")" -v b="$base" 'BEGIN { printf "%.1f", 1.5 * m + b }')
for row in "velmarin --transfer:${pk_t[$small]}:${pk_t[$big]}" \
  "velmarin --process:${pk_p[$small]}:${pk_p[$big]}" "a station (--headless)::$st_peak"; do
  IFS=: read -r name at_small at_big <<<"$row"
  printf '  %-42s %-14s %-14s %s\n' "$name" "${at_small:--}" "$at_big" \
    "<= $limit: $(verdict "$at_big" "$limit" 'a <= b')"
done
echo
echo "/floor, /djpeg|cjpeg: the median over the floor's time and over djpeg|cjpeg's median."
echo "The search at N files is --next-name's median there less its median with none."
echo "Its runs start where the warm-up's listing ended (the cache of serial searches, while the"
echo "folder is unchanged); a first search, or one after a change, lists the folder once."
echo "libraries, relocations: shared objects loaded and the dynamic loader's final number of"
echo "relocations over the whole run."
