#!/usr/bin/env bash
# Compares `velmarin --process` (default settings: four grey bands, two stamps, quality 95)
# as a whole process with ImageMagick's convert doing the same edit and with a plain
# `djpeg | cjpeg` round trip, for 640x480, 1920x1080 and 6000x4000 JPEG sources (gradients
# with noise, quality 95). Each command runs 5 times; the table shows the median wall and CPU
# times and the peak resident memory. Builds nothing: pass the build folder that holds src/velmarin.
#
# Then, in process (bench/process_bench): ProcessCapturedImage and the whole per-image cycle
# (NormalizeJpegWidth + ProcessCapturedImage) against the floor of one libjpeg decode plus
# one encode of the same picture.
#
# Usage: bench/process_vs_imagemagick.sh [build-dir]      (default: build/default)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
velmarin=$build/src/velmarin
runs=5

# ImageMagick itself, not a wrapper script that may stand in front of it on the PATH.
im_convert=${IM_CONVERT:-$(command -v convert-im6.q16 || command -v convert || true)}
mincho=$(fc-match -f '%{file}' IPAMincho)

missing=()
[ -x "$velmarin" ] || missing+=("$velmarin (build it first)")
[ -x /usr/bin/time ] || missing+=("/usr/bin/time (Debian package time)")
[ -n "$im_convert" ] || missing+=("convert (Debian package imagemagick)")
command -v djpeg > /dev/null && command -v cjpeg > /dev/null ||
  missing+=("djpeg/cjpeg (Debian package libjpeg-turbo-progs)")
if [ ${#missing[@]} -gt 0 ]; then
  printf 'missing: %s\n' "${missing[@]}" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmarin-vs-im.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One run of a command line: prints "<wall microseconds> <user+system ms> <peak RSS KiB>".
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%U %S %M' -o "$work/usage" bash -c "$1" > /dev/null 2>&1 || {
    echo "failed: $1" >&2
    return 1
  }
  end=$(date +%s%N)
  awk -v us="$(((end - start) / 1000))" '{ printf "%d %d %d\n", us, ($1 + $2) * 1000, $3 }' \
    <(tail -n 1 "$work/usage")
}

# Median wall time, median CPU time and highest peak memory over $runs runs (the machine
# may be shared, so the median says more than the best run): prints
# "<wall ms> <cpu ms> <peak MiB>".
median_of() {
  local walls=() cpus=() peak=0 us ms kib
  for ((i = 0; i < runs; i++)); do
    read -r us ms kib < <(measure "$1")
    walls+=("$us")
    cpus+=("$ms")
    ((kib > peak)) && peak=$kib
  done
  local wall cpu
  wall=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")
  cpu=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")
  awk -v us="$wall" -v ms="$cpu" -v kib="$peak" \
    'BEGIN { printf "%.1f %d %.1f\n", us / 1000, ms, kib / 1024 }'
}

# Same edit as the default settings: bands x 0-19, x W-20..W-1, y 0-22, y H-23..H-1 in
# 0x646464; 20-pixel IPAMincho stamps in white on grey cells at (5,3) and (5,H-22).
convert_edit() {
  local w=$1 h=$2 src=$3 dst=$4 stamp
  stamp="ID:123456 $(date +%Y.%m.%d\ %H:%M:%S)"
  printf '%q ' "$im_convert" "$src" -fill '#646464' -stroke none \
    -draw "rectangle 0,0 19,$((h - 1))" -draw "rectangle $((w - 20)),0 $((w - 1)),$((h - 1))" \
    -draw "rectangle 0,0 $((w - 1)),22" -draw "rectangle 0,$((h - 23)) $((w - 1)),$((h - 1))" \
    -font "$mincho" -pointsize 20 -density 72 -gravity NorthWest -undercolor '#646464' \
    -fill white -annotate +5+3 "$stamp" -annotate "+5+$((h - 22))" 'Pellandor TEL:000-000-0000' \
    -quality 95 "$dst"
}

# Rows: one per size and tool; ratios are the tool's figure over velmarin's.
row() {
  awk -v s="$1" -v t="$2" -v wall="$3" -v cpu="$4" -v mib="$5" -v vwall="$6" -v vcpu="$7" \
    -v raw="$8" 'BEGIN {
      printf "%-10s %-12s %9.1f %8d %9.1f %10.2fx %9.2fx %9.2fx\n", s, t, wall, cpu, mib,
             wall / vwall, (vcpu > 0 ? cpu / vcpu : 0), mib / raw
    }'
}

printf '%-10s %-12s %9s %8s %9s %11s %10s %10s\n' size tool wall_ms cpu_ms peak_MiB \
  wall/vel cpu/vel peak/raw
for size in 640x480 1920x1080 6000x4000; do
  w=${size%x*}
  h=${size#*x}
  raw=$(awk -v w="$w" -v h="$h" 'BEGIN { print w * h * 3 / 1048576 }')
  src=$work/source_$size.jpg
  "$im_convert" -size "${h}x${w}" gradient:'#2050a0-#e0c040' -rotate 90 \
    \( -size "${w}x${h}" gradient:'#800000-#008080' \) -compose blend \
    -define compose:args=50 -composite -attenuate 0.2 +noise Gaussian -quality 95 "$src"
  prog=$work/program_$size
  mkdir -p "$prog"

  read -r vw vc vm < <(median_of "$(printf '%q ' "$velmarin" --dir "$prog" --id 123456 \
    --process "$src" "$prog/out.jpg")")
  read -r cw cc cm < <(median_of "$(convert_edit "$w" "$h" "$src" "$work/convert_out.jpg")")
  read -r dw dc dm < <(median_of "djpeg $(printf '%q' "$src") | cjpeg -quality 95 \
    > $(printf '%q' "$work/djcj_out.jpg")")
  row "$size" velmarin "$vw" "$vc" "$vm" "$vw" "$vc" "$raw"
  row "$size" convert "$cw" "$cc" "$cm" "$vw" "$vc" "$raw"
  row "$size" djpeg\|cjpeg "$dw" "$dc" "$dm" "$vw" "$vc" "$raw"
done
echo "Median of $runs runs each. wall/vel, cpu/vel: the tool's time over velmarin's (above 1:"
echo "velmarin is faster). cpu = user + system. peak/raw: peak RSS over the decoded picture"
echo "(width x height x 3 bytes); velmarin's includes about 20 MiB of Qt and fontconfig."

in_process=$build/bench/process_bench
if [ -x "$in_process" ]; then
  echo
  printf '%-10s %9s %11s %9s %13s %11s\n' size floor_ms process_ms cycle_ms process/floor \
    cycle/floor
  "$in_process" --benchmark_min_time=0.5 --benchmark_format=csv 2> /dev/null |
    awk -F, '/^"BM_(Floor|Process|Cycle)\// {
      gsub(/"/, "", $1); split($1, part, "/")
      size = part[2] "x" part[3]; time[part[1], size] = $3
      if (!(size in seen)) { seen[size] = 1; order[++n] = size }
    } END {
      for (i = 1; i <= n; i++) {
        s = order[i]; f = time["BM_Floor", s]
        printf "%-10s %9.1f %11.1f %9.1f %12.2fx %10.2fx\n", s, f, time["BM_Process", s],
               time["BM_Cycle", s], time["BM_Process", s] / f, time["BM_Cycle", s] / f
      }
    }'
  echo "In process, wall time per image (the writes include the flush to disk)."
fi
