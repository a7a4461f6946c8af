#!/usr/bin/env bash
# Renders the committed PNG icons from brambold.svg, one per hicolor size.
# Needs rsvg-convert (Debian package librsvg2-bin). Run it after changing the
# SVG, look at the pictures, and commit them with it.
set -euo pipefail
cd "$(dirname "$0")"

for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" brambold.svg -o "brambold-$size.png"
done
