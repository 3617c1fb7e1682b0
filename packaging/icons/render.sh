#!/usr/bin/env bash
# Renders the program icon for the hicolor theme from the wizard's drawing.
# Run after editing resources/art/program.svg; the PNGs are committed.
set -euo pipefail
cd "$(dirname "$0")"
drawing=../../resources/art/program.svg
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$size"
    # The drawing is 32 units wide: render at the matching density, not by
    # scaling up a small bitmap.
    convert -background none -density "$((72 * size / 32))" "$drawing" \
        -resize "${size}x${size}!" -depth 8 -strip "PNG32:$size/vorn95.png"
done
