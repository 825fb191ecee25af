#!/usr/bin/env bash
# Quick start: installs what is missing, builds, and starts the server (extra arguments go to the server,
# e.g. --headless or --verbose).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh"
"$here/build.sh" default
exec "$here/../build/default/src/app/fernpad-server" "$@"
