#!/usr/bin/env bash
# Renders the program's icon (packaging/linux/fernpad-server.svg) to the PNG sizes of the hicolor theme,
# packaging/linux/icons/<size>.png, which are kept in the repository. Run it after changing the SVG.
# Needs rsvg-convert (librsvg2-bin, in scripts/deps/package.txt).
set -euo pipefail
cd "$(dirname "$0")/../packaging/linux"
mkdir -p icons
for size in 16 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --output "icons/$size.png" fernpad-server.svg
done
