#!/bin/bash
# A private headless desktop for the tests of the portal backend: its own session bus, PipeWire and
# WirePlumber, the compositor with one 1920x1080 virtual monitor (no GPU needed, no X server) and the desktop
# portals (started by the bus when first asked). GNOME: mutter; KDE: KWin. Every file lives in DIR.
#
# Usage: portal-desk.sh DIR [gnome|kde]
# Prints "ready BUS_ADDRESS WAYLAND_SOCKET" once the compositor listens, then runs until its standard input
# closes, and ends what it started. Exit 77 when the desktop's programs are not installed; 1 when it cannot
# start.
set -u
if [ "${1:-}" != --inside ]; then
  dir=$1
  desktop=${2:-gnome}
  case $desktop in
    gnome) tools=(mutter) portal=/usr/libexec/xdg-desktop-portal-gnome current=GNOME ;;
    kde) tools=(kwin_wayland) portal=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde current=KDE ;;
    *) echo "unknown desktop $desktop" >&2; exit 2 ;;
  esac
  for tool in dbus-run-session pipewire wireplumber "${tools[@]}"; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 77; }
  done
  [ -x "$portal" ] || { echo "missing $portal" >&2; exit 77; }
  mkdir -p "$dir/run" "$dir/home" && chmod 700 "$dir/run" || exit 1
  # The bus starts the portals with the environment it has itself: everything they need is set here.
  export XDG_RUNTIME_DIR=$dir/run HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config \
    XDG_CACHE_HOME=$dir/home/.cache XDG_DATA_HOME=$dir/home/.local/share XDG_CURRENT_DESKTOP=$current \
    XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=fernpad-desk GSETTINGS_BACKEND=memory
  unset DISPLAY DBUS_SESSION_BUS_ADDRESS
  exec dbus-run-session -- "$0" --inside "$dir" "$desktop"
fi

dir=$2
desktop=$3
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
if [ "$desktop" = gnome ]; then
  mutter --headless --virtual-monitor 1920x1080 --wayland --no-x11 --wayland-display "$WAYLAND_DISPLAY" \
    >"$dir/compositor.log" 2>&1 &
else
  # KWin carries file capabilities, which a container may refuse to run: a copy has none.
  cp "$(command -v kwin_wayland)" "$dir/kwin_wayland" || exit 1
  QT_QPA_PLATFORM=offscreen "$dir/kwin_wayland" --virtual --width 1920 --height 1080 --no-lockscreen \
    --socket "$WAYLAND_DISPLAY" >"$dir/compositor.log" 2>&1 &
fi
pids+=($!)
socket=$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY
for _ in $(seq 100); do
  [ -S "$socket" ] && [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
  sleep 0.1
done
if [ ! -S "$socket" ]; then
  echo "the compositor did not start:" >&2
  cat "$dir/compositor.log" >&2
  exit 1
fi
echo "ready $DBUS_SESSION_BUS_ADDRESS $socket"
cat >/dev/null
