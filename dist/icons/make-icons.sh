#!/usr/bin/env bash
# Renders the application icon's PNG sizes from kestrow.svg with rsvg-convert
# (apt-get install librsvg2-bin). The PNGs are committed: the build and the
# package only install them, so this runs only when the picture changes.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" kestrow.svg --output "kestrow-$size.png"
done
