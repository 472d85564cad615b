#!/usr/bin/env bash
# The long soak: scripts/soak.sh [changes] (10,000 by default) wallpaper changes by the main
# window's timer across every kind of picture, in a Wine prefix of its own so that it can run
# beside the other tests. Prints the resources before and after; fails when any grew.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
changes=${1:-10000}
export WINEPREFIX=$build/wine/soak-prefix
export VESKO2_SOAK_CHANGES=$changes
export VESKO2_PLUGIN_DIR=$build/win
export VESKO2_TEST_DATA=$root/tests/data
export VESKO_TIMEOUT=$((changes / 10 + 300))
cd "$build/win/tests/win" || exit 1
xvfb-run -a -s '-screen 0 1280x800x24' "$root/scripts/wine-session.sh" \
  "$root/scripts/wine-run.sh" ./win_tests.exe -tc='soak*' 2>&1 |
  grep -v ':fixme:' | tee "$build/soak.txt"
exit "${PIPESTATUS[0]}"
