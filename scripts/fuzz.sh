#!/usr/bin/env bash
# A fuzzing campaign over every target: scripts/fuzz.sh [seconds per target].
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
seconds=${1:-600}
for fuzzer in "$build"/sanitize/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  echo "== $name ($seconds s)"
  "$root/scripts/fuzz-run.sh" "$fuzzer" "$root/fuzz/corpus/$name" "$seconds"
done
