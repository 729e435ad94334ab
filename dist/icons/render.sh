#!/usr/bin/env bash
# Renders the PNG sizes of the icon from its SVG (needs rsvg-convert from librsvg2-bin).
# Run after changing the SVG and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert -w "$size" -h "$size" org.velmarin.Velmarin.svg -o "${size}x${size}/org.velmarin.Velmarin.png"
done
