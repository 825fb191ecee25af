#!/usr/bin/env bash
# Pictures of the Linux build's main window, one per page, as Qt draws them: builds the page-shot tool and
# writes docs/screenshots/linux-page-*.png (kept in the repository, so that a change of the window shows
# in review). Needs no display (Qt's offscreen platform). Installs what is missing first.
# Usage: scripts/linux-screenshots.sh [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
cd "$here/.."
out=$(realpath -m "${1:-docs/screenshots}")

nice -n 19 cmake --preset default >/dev/null
nice -n 19 cmake --build --preset default -j2 --target fernpad_linux_page_shots
build/default/tests/app/fernpad_linux_page_shots "$out"
