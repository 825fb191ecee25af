#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite. Usage: scripts/test.sh [preset]
# The end-to-end tests start their own Xvfb servers; nothing else needs to be running.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
preset=${1:-default}
"$here/install-deps.sh"
"$here/build.sh" "$preset"
cd "$here/.."
ctest --preset "$preset" -j2 --timeout 300
