#!/bin/bash
# A private headless GNOME desktop for the tests of the portal backend: its own session bus, PipeWire and
# WirePlumber, mutter with one 1920x1080 virtual monitor (no GPU needed, no X server), and the desktop portals
# (started by the bus when first asked). Every file lives in DIR.
#
# Usage: gnome-desk.sh DIR
# Prints "ready BUS_ADDRESS WAYLAND_SOCKET" once mutter listens, then runs until its standard input closes,
# and ends what it started. Exit 77 when the desktop's programs are not installed; 1 when it cannot start.
set -u
if [ "${1:-}" != --inside ]; then
  for tool in dbus-run-session mutter pipewire wireplumber; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 77; }
  done
  [ -x /usr/libexec/xdg-desktop-portal-gnome ] || { echo "missing xdg-desktop-portal-gnome" >&2; exit 77; }
  dir=$1
  mkdir -p "$dir/run" "$dir/home" && chmod 700 "$dir/run" || exit 1
  # The bus starts the portals with the environment it has itself: everything they need is set here.
  export XDG_RUNTIME_DIR=$dir/run HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config \
    XDG_CACHE_HOME=$dir/home/.cache XDG_DATA_HOME=$dir/home/.local/share XDG_CURRENT_DESKTOP=GNOME \
    XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=fernpad-gnome GSETTINGS_BACKEND=memory NO_AT_BRIDGE=0
  unset DISPLAY DBUS_SESSION_BUS_ADDRESS
  exec dbus-run-session -- "$0" --inside "$dir"
fi

dir=$2
cd "$dir" || exit 1
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait
}
trap finish EXIT
pipewire >"$dir/pipewire.log" 2>&1 &
pids+=($!)
wireplumber >"$dir/wireplumber.log" 2>&1 &
pids+=($!)
mutter --headless --virtual-monitor 1920x1080 --wayland --no-x11 --wayland-display "$WAYLAND_DISPLAY" \
  >"$dir/mutter.log" 2>&1 &
pids+=($!)
socket=$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY
for _ in $(seq 100); do
  [ -S "$socket" ] && [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
  sleep 0.1
done
if [ ! -S "$socket" ]; then
  echo "mutter did not start:" >&2
  cat "$dir/mutter.log" >&2
  exit 1
fi
echo "ready $DBUS_SESSION_BUS_ADDRESS $socket"
cat >/dev/null
