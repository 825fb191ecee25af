# Sourced by the scripts that run the Windows build under wine: a private Xvfb and the wine prefix of the
# build folder ($build/wineprefix; the user's own ~/.wine is never touched), both stopped when the script
# exits, also on failure. Expects $build; exports WINEPREFIX, DISPLAY, $wine and $wineserver.
# Usage: . scripts/wine-session.sh; start_wine_session
export WINEPREFIX=$PWD/$build/wineprefix
export WINEDEBUG=-all
# No offers to install Mono or Gecko; no menu entries on the Linux desktop for the prefix's Start menu.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

xvfb_pid=
wine_started=
stop_wine_session() {
  if [ -n "$wine_started" ]; then "$wineserver" -k 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}

start_wine_session() {
  trap stop_wine_session EXIT
  # Xvfb picks a free display number and writes it to the pipe once it accepts clients.
  local display_file
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  [ -s "$display_file" ] || { echo "Xvfb did not report its display" >&2; exit 1; }
  export DISPLAY=:$(head -n1 "$display_file")
  rm -f "$display_file"

  echo "== windows: wine prefix $WINEPREFIX on $DISPLAY" >&2
  mkdir -p "$WINEPREFIX"
  wine_started=yes
  "$wineserver" -p
  "$wine" cmd /c exit 0 >/dev/null 2>&1  # creates the prefix on first use
  # A crashing program must end, not wait for someone to close wine's crash window; wine's windows are
  # plain X windows, placed where the program asks.
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
  # The first program with windows makes wine set up its desktop, which paints the X root window; done
  # here, once, it no longer repaints the root behind the back of the tests that read the screen.
  "$wine" rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 || true
}
