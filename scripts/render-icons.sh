#!/usr/bin/env bash
# Renders the program's icon (data/icons/org.velmora.Velmora.svg) into the PNG sizes the hicolor
# theme wants. The PNGs are committed, so a build needs no SVG renderer; run this after changing
# the SVG (needs rsvg-convert from librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" org.velmora.Velmora.svg -o "${size}x${size}/org.velmora.Velmora.png"
done
