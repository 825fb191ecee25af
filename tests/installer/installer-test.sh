#!/usr/bin/env bash
# The Windows packages of a build, end to end: cpack makes the installer and the portable zip; the
# installer is installed silently into a wine prefix of its own (made afresh, so the tests' shared prefix
# never holds an install), the installed program is started, and the uninstaller, run silently, must take
# away the program, its Start menu entry and the autostart value. Run by ctest in the Windows build
# (scripts/test-windows.sh). Usage: installer-test.sh BUILD_DIR VERSION
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR VERSION" >&2; exit 2; }
build=$(cd "$1" && pwd)
version=$2
work=$build/installer-test
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cd "$work"
cpack --config "$build/CPackConfig.cmake" -G "NSIS;ZIP" -B "$work/packages" >cpack.log 2>&1 ||
  { cat cpack.log >&2; fail "cpack"; }
setup=$work/packages/fernpad-server-$version-setup.exe
[ -f "$setup" ] || fail "no installer $setup"
cmake -E tar tf "$work/packages/fernpad-server-$version-portable.zip" >zip.txt
grep -qx "fernpad-server-$version-portable/fernpad-server.exe" zip.txt || fail "the zip holds $(cat zip.txt)"

export WINEPREFIX=$work/wineprefix
export WINEDEBUG=-all
# No offers to install Mono or Gecko; no menu entries on the Linux desktop for the Start menu's.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# Its own X display too: a new wine prefix repaints the root window, which the screen tests read.
display_file=$work/display
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
trap '"$wineserver" -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT  # ours alone
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$display_file")
"$wine" cmd /c exit 0 >/dev/null 2>&1           # creates the prefix

# No space: wine quotes an argument holding one, and the installer takes /D= unquoted only.
dir='C:\Apps\FernpadServer'
unix_dir=$WINEPREFIX/drive_c/Apps/FernpadServer
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
has_run_value() { "$wine" reg query "$run_key" /v FernpadServer >/dev/null 2>&1; }
shortcuts() { find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Fernpad Server/Fernpad Server.lnk'; }

# The autostart value as the program writes it when its box is ticked.
"$wine" reg add "$run_key" /v FernpadServer /t REG_SZ /d "$dir\\fernpad-server.exe" /f >/dev/null

"$wine" "$setup" /S "/D=$dir" || fail "the installer failed: $?"
[ -f "$unix_dir/fernpad-server.exe" ] || fail "no installed program"
printed=$("$wine" "$dir\\fernpad-server.exe" --version | tr -d '\r')
[ "$printed" = "fernpad-server $version" ] || fail "--version printed \"$printed\""
[ -n "$(shortcuts)" ] || fail "no Start menu entry"
has_run_value || fail "the install removed the autostart value"

# In place (_?=): the uninstaller otherwise copies itself away and returns at once.
"$wine" "$dir\\Uninstall.exe" /S "_?=$dir" || fail "the uninstaller failed: $?"
[ ! -e "$unix_dir/fernpad-server.exe" ] || fail "the program is still installed"
[ -z "$(shortcuts)" ] || fail "the Start menu entry is still there"
! has_run_value || fail "the autostart value is still there"
echo "installed, started and uninstalled fernpad-server $version"
