#!/usr/bin/env bash
# Runs every test suite; fails when any test fails. Wine tests get their own X display.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
status=0

run_ctest() {
  local dir=$1
  shift
  echo "== $(basename "$dir")"
  (cd "$dir" && ctest --output-on-failure "$@") || status=1
}

run_ctest "$build/native" -j2
run_ctest "$build/sanitize" -j2

# Wine: a private X server with a ready Wine session.
echo "== win"
(cd "$build/win" && xvfb-run -a -s '-screen 0 1280x800x24' \
  "$root/scripts/wine-session.sh" ctest --output-on-failure) || status=1

[ $status -eq 0 ] && echo "All tests passed." || echo "Some tests FAILED."
exit $status
