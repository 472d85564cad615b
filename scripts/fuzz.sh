#!/usr/bin/env bash
# A fuzzing campaign over every target: scripts/fuzz.sh [seconds per target [target...]].
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
# shellcheck source=fuzz-limits.sh
. "$root/scripts/fuzz-limits.sh"
seconds=${1:-600}
# Targets may be named after the seconds (scripts/fuzz.sh 1800 png zip); all by default.
shift $(($# > 0 ? 1 : 0))
failed=()
for fuzzer in "$build"/sanitize/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  echo "== $name ($seconds s)"
  # A finding stops that target only; the others still run. After a clean run, the inputs that
  # reach something new join the corpus kept in the repository.
  if "$root/scripts/fuzz-run.sh" "$fuzzer" "$root/fuzz/corpus/$name" "$seconds"; then
    "$fuzzer" -merge=1 -max_len="$(fuzz_max_len "$name")" "$root/fuzz/corpus/$name" \
      "$fuzzer-work/corpus" 2>&1 | tail -n 1
  else
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (inputs in build/sanitize/fuzz/<target>_fuzzer-work)"
  exit 1
fi
