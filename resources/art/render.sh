#!/usr/bin/env bash
# Renders the program's artwork from the SVG sources into the PNG files the
# layouts load. Run after editing a drawing; the PNGs are committed.
set -euo pipefail
cd "$(dirname "$0")"
render() { # source, target, extra convert options...
    local src=$1 dst=$2; shift 2
    convert -density 96 -background none "$src" -depth 8 +repage "$@" "../$dst"
}
render program.svg program.png
render steps.svg steps.png -flatten
render finished.svg finished.png -flatten
render tray.svg tray.png
# The round button's glyph is an opaque 24-bit picture.
convert -density 96 about-glyph.svg -flatten -depth 8 +repage PNG24:../about-glyph.png
render entry-large.svg entry-large.png
render entry-small.svg entry-small.png
