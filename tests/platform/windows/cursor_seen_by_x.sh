#!/usr/bin/env bash
# The X server's pointer follows the Windows backend's cursor. Usage: cursor_seen_by_x.sh SET_CURSOR_COMMAND...
set -euo pipefail
for point in "321 123" "17 640" "1000 5"; do
  read -r x y <<<"$point"
  "$@" "$x" "$y"
  seen=$(xdotool getmouselocation)
  case "$seen" in
    "x:$x y:$y "*) ;;
    *) echo "cursor set to $x,$y; the X server has $seen" >&2; exit 1 ;;
  esac
done
