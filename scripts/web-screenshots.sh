#!/usr/bin/env bash
# Pictures of the browser remote's page on a phone, as headless Chromium draws it: runs the headless server
# with the browser remote on a private Xvfb, opens the page at phone size (390x844 CSS pixels, upright and
# turned) and writes docs/screenshots/web-remote-portrait.png and web-remote-landscape.png (kept in the
# repository, so that a change of the page shows in review). Installs what is missing first.
# Usage: scripts/web-screenshots.sh [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
cd "$here/.."
out=$(realpath -m "${1:-docs/screenshots}")

nice -n 19 cmake --preset default >/dev/null
nice -n 19 cmake --build --preset default -j2 --target fernpad-server
server=build/default/src/app/fernpad-server
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3  # Debian's python3-selenium is for the system's Python

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A private display, its number picked free by Xvfb itself.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
display=
for _ in $(seq 100); do
  display=$(cat "$work/display")
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$display" ] || { echo "$0: Xvfb did not start" >&2; exit 1; }

# A known token, so the address can be built here; any free ports.
token=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
mkdir -p "$work/config"
printf 'enabled=1\nkeep-address=1\ntoken=%s\n' "$token" >"$work/config/browser-remote.txt"
DISPLAY=":$display" XDG_CONFIG_HOME="$work/xdg-config" XDG_DATA_HOME="$work/xdg-data" \
  "$server" --headless --verbose --config-dir "$work/config" --allow 127.0.0.1 --http-port 0 --udp-port 0 \
  --upload-port 0 --web-remote --web-port 0 >"$work/server.out" 2>"$work/server.log" &
pids+=($!)
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*browser remote on TCP port \([0-9]*\).*/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "$0: the server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }

mkdir -p "$out"
answers=$(env -u DISPLAY "$python" tests/e2e/browser/drive_page.py <<EOF
viewport 390 844
open http://127.0.0.1:$port/#$token
wait-state Connected
shot $out/web-remote-portrait.png
viewport 844 390
wait-state Connected
shot $out/web-remote-landscape.png
quit
EOF
)
echo "$answers"
if grep -q -e '^error' -e '^unavailable' <<<"$answers"; then exit 1; fi
echo "Wrote $out/web-remote-portrait.png and $out/web-remote-landscape.png"
