#!/usr/bin/env bash
# Installs every Debian package the build and the tests need that is not installed yet.
# Idempotent: with everything present it installs nothing and does not touch the network.
# Usage: scripts/install-deps.sh [windows]   The lists in scripts/deps/ are installed, except the optional
# ones below, which come only when named (the Windows cross build and wine are some 400 MB).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
optional=(windows)

lists=()
for list in "$here"/deps/*.txt; do
  name=$(basename "$list" .txt)
  [[ " ${optional[*]} " == *" $name "* ]] || lists+=("$list")
done
for name in "$@"; do
  [[ " ${optional[*]} " == *" $name "* ]] || { echo "$0: no optional package list \"$name\"" >&2; exit 2; }
  lists+=("$here/deps/$name.txt")
done

wanted=$(cat "${lists[@]}" | sed -e 's/#.*//' -e 's/[[:space:]]//g' | grep -v '^$' | sort -u)
missing=()
for pkg in $wanted; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
