#!/usr/bin/env bash
# Pictures of the Windows build's main window, one per page, as wine draws them: builds the Windows
# program's page-shot tool and writes docs/screenshots/windows-page-*.png (kept in the repository, so that
# a change of the window shows in review). Installs what is missing first.
# Usage: scripts/windows-screenshots.sh [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh" windows
cd "$here/.."
out=$(realpath -m "${1:-docs/screenshots}")

nice -n 19 cmake --preset windows >/dev/null
nice -n 19 cmake --build --preset windows --target fernpad_page_shots

build=build/windows
. scripts/wine-session.sh
start_wine_session
mkdir -p "$out"
"$wine" "$build/tests/app-windows/fernpad_page_shots.exe" "Z:${out//\//\\}"  # wine sees the Linux root as drive Z:
