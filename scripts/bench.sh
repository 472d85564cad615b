#!/usr/bin/env bash
# Runs the benchmarks under Wine and prints their reports.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
echo "== list building, 100,000 files"
VESKO_TIMEOUT=1800 "$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" \
  "$build/win/list_bench.exe" "${BENCH_FILES:-100000}"
