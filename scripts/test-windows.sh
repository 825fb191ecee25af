#!/usr/bin/env bash
# Builds the Windows program and its tests with mingw-w64 and runs the tests under wine, on a private Xvfb
# and in a wine prefix of the build folder (scripts/wine-session.sh). Installs what is missing first.
# Usage: scripts/test-windows.sh [ctest arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh" windows
cd "$here/.."
start=$SECONDS

echo "== windows: build" >&2
nice -n 19 cmake --preset windows >/dev/null
nice -n 19 cmake --build --preset windows

build=build/windows
. scripts/wine-session.sh
start_wine_session
"$wine" "$build/tests/fernpad_hidden_window.exe" >/dev/null 2>&1 &

echo "== windows: tests" >&2
nice -n 19 ctest --preset windows -j2 --timeout 300 "$@"
echo "== windows: done in $((SECONDS - start)) s" >&2
