#!/usr/bin/env bash
# Runs one libFuzzer target for a number of seconds from its seed corpus. New inputs go to a
# scratch folder beside the binary; a crash leaves its input there as crash-* and fails.
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=$3
work=$(dirname "$fuzzer")/$(basename "$fuzzer")-work
# shellcheck source=fuzz-limits.sh
. "$(dirname "$0")/fuzz-limits.sh"
max_len=$(fuzz_max_len "$(basename "$fuzzer" _fuzzer)")
mkdir -p "$work/corpus"
# Leaks inside the shared decoding libraries a target links are theirs (fuzz/lsan.supp).
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/.." && pwd)/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
cd "$work"
exec timeout $((seconds + 60)) "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout="${FUZZ_UNIT_TIMEOUT:-10}" \
  -rss_limit_mb=2048 -print_final_stats=1 corpus "$seeds"
