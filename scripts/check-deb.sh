#!/usr/bin/env bash
# Makes the Debian package from a built Linux build folder and checks it: the files it installs, lintian,
# the desktop entry, the AppStream data, the manual page, the systemd unit, and that the program from the
# unpacked package starts. Usage: scripts/check-deb.sh BUILD_DIR   (the "package" test runs it)
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-deb: $*" >&2; exit 1; }

cd "$build"
rm -f fernpad-server_*.deb
timeout 300 cpack -G DEB >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=(fernpad-server_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single fernpad-server_*.deb made"
deb="$build/${debs[0]}"

# Every file the package installs (directories aside), and nothing else.
expected="./etc/ufw/applications.d/fernpad-server
./usr/bin/fernpad-server
./usr/lib/firewalld/services/fernpad-server.xml
./usr/lib/systemd/user/fernpad-server.service
./usr/share/applications/fernpad-server.desktop
./usr/share/doc/fernpad-server/changelog.gz
./usr/share/doc/fernpad-server/copyright"
for size in 16 24 32 48 64 128 256; do
  expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/fernpad-server.png"
done
expected+="
./usr/share/icons/hicolor/scalable/apps/fernpad-server.svg
./usr/share/man/man1/fernpad-server.1.gz
./usr/share/metainfo/com.ornivo.FernpadServer.metainfo.xml"
actual=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
diff <(sort <<<"$expected") <(echo "$actual") >&2 || fail "the package's files differ from the expected list (- expected, + packaged)"

control=$(dpkg-deb --field "$deb")
grep -q '^Depends: .*libc6' <<<"$control" || fail "Depends computed from the libraries is missing: $control"
grep -q '^Depends: .*libqt6widgets6' <<<"$control" || fail "Depends misses the Qt widgets library: $control"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/ufw/applications.d/fernpad-server ||
  fail "the ufw profile is no conffile"

# lintian: errors fail, warnings are shown. Running as root needs the --allow-root switch.
root=()
[ "$(id -u)" -eq 0 ] && root=(--allow-root)
lintian "${root[@]}" --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log" >&2
! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors"

mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
r="$work/root"
desktop-file-validate "$r/usr/share/applications/fernpad-server.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net --pedantic "$r/usr/share/metainfo/com.ornivo.FernpadServer.metainfo.xml" >&2 ||
  fail "AppStream data invalid"

man_warnings=$(zcat "$r/usr/share/man/man1/fernpad-server.1.gz" | groff -ww -z -man 2>&1)
[ -z "$man_warnings" ] || fail "the manual page has warnings: $man_warnings"
MANWIDTH=80 man -l -P cat "$r/usr/share/man/man1/fernpad-server.1.gz" >"$work/man.txt" 2>&1 || fail "man cannot show the page"
# The manual names every option the program's --help names.
"$r/usr/bin/fernpad-server" --help | grep -oE -- '--[a-z-]+' | sort -u >"$work/help-options"
while read -r option; do
  grep -qF -- "$option" "$work/man.txt" || fail "the manual page lacks $option"
done <"$work/help-options"

unit="$r/usr/lib/systemd/user/fernpad-server.service"
grep -qx 'ExecStart=/usr/bin/fernpad-server --headless' "$unit" || fail "the unit does not start the installed program"
if command -v systemd-analyze >/dev/null && systemd-analyze --version >/dev/null 2>&1; then
  # The checker looks the program and the manual page up on this machine: point it at the unpacked ones.
  # It needs a runtime folder of its own (none in a container without a session).
  mkdir -m 700 "$work/runtime"
  sed "s|/usr/bin/fernpad-server|$r/usr/bin/fernpad-server|" "$unit" >"$work/fernpad-server.service"
  if ! out=$(MANPATH="$r/usr/share/man" XDG_RUNTIME_DIR="$work/runtime" \
    systemd-analyze --user verify "$work/fernpad-server.service" 2>&1); then
    # A machine where systemd cannot start a user manager at all: anything else is a finding.
    if grep -q 'Failed to initialize manager' <<<"$out"; then
      echo "check-deb: systemd-analyze cannot run here, unit not verified: $out" >&2
    else
      fail "systemd-analyze: $out"
    fi
  elif [ -n "$out" ]; then
    fail "systemd-analyze: $out"
  fi
else
  echo "check-deb: systemd-analyze missing, unit not verified" >&2
fi

version=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$r/usr/bin/fernpad-server" --version) || fail "--version failed"
[ "$version" = "fernpad-server $(dpkg-deb --field "$deb" Version)" ] || fail "unexpected version: $version"
echo "check-deb: $deb is fine" >&2
