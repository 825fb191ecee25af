#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: the release build, then the same tests
# under AddressSanitizer+UndefinedBehaviorSanitizer and under ThreadSanitizer, so a memory fault or a data
# race fails the run; last, a plain Release build as a distribution's packager makes it (no preset, no
# warnings as errors; built, not tested); then the Windows build, cross-compiled with mingw-w64, and its
# tests under wine (scripts/test-windows.sh). Usage: scripts/test.sh [preset]   (one alone: default, asan,
# tsan, plain or windows)
# The end-to-end tests start their own Xvfb servers; nothing else needs to be running.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
cd "$here/.."
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(default asan tsan plain windows)
for preset in "${presets[@]}"; do
  start=$SECONDS
  if [ "$preset" = windows ]; then
    "$here/test-windows.sh"
    continue
  fi
  if [ "$preset" = plain ]; then
    echo "== plain Release build" >&2
    cmake -S . -B build/plain-release -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/plain-release -j2
    echo "== plain: done in $((SECONDS - start)) s" >&2
    continue
  fi
  echo "== $preset: build" >&2
  "$here/build.sh" "$preset"
  echo "== $preset: tests" >&2
  ctest --preset "$preset" -j2 --timeout 300
  echo "== $preset: done in $((SECONDS - start)) s" >&2
done
