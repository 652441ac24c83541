#!/bin/sh
# Renders the PNG sizes of the application icon from marrowglen.svg. The PNGs are kept in the
# repository so that building needs no SVG renderer; run this after changing the SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "$here/marrowglen-$size.png" "$here/marrowglen.svg"
done
