#!/usr/bin/env bash
# Renders the PNG sizes of the program's icon from its SVG, into the hicolor
# layout under data/icons that cmake --install copies. Run after editing the
# SVG and commit the PNGs with it: the build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh librsvg2-bin
name=org.velkor.Programmer
svg=data/icons/hicolor/scalable/apps/$name.svg
for size in 16 24 32 48 64 128 256; do
  dir=data/icons/hicolor/${size}x${size}/apps
  mkdir -p "$dir"
  rsvg-convert --width "$size" --height "$size" "$svg" --output "$dir/$name.png"
  echo "  $dir/$name.png"
done
