#!/usr/bin/env bash
# Runs a program of the Windows build under wine: the emulator CTest puts before every test of the cross
# build. Usage: scripts/wine-run.sh WINEPREFIX PROGRAM [ARGUMENTS...]
# The prefix and the X display ($DISPLAY) are prepared by scripts/test-windows.sh; this script never
# creates or changes either.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 WINEPREFIX PROGRAM [ARGUMENTS...]" >&2; exit 2; }
export WINEPREFIX=$1
shift
[ -d "$WINEPREFIX" ] || { echo "$0: no wine prefix at $WINEPREFIX (run scripts/test-windows.sh)" >&2; exit 2; }
[ -n "${DISPLAY:-}" ] || { echo "$0: DISPLAY is not set (run scripts/test-windows.sh)" >&2; exit 2; }
export WINEDEBUG=${WINEDEBUG:--all}
# No offers to install Mono or Gecko; no menu entries on the Linux desktop for the prefix's Start menu.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
exec "$wine" "$@"
