#!/usr/bin/env bash
# Runs a command in a ready Wine session on the current X display: a persistent wineserver
# and one warm-up process, whose services would otherwise inherit the command's pipes (CTest
# then waits for them until its timeout). The wineserver is stopped at the end.
set -uo pipefail
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
"$(dirname "$0")/wine-prefix.sh"
wineserver -k 2>/dev/null
wineserver -p
timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1
"$@"
status=$?
wineserver -k 2>/dev/null
exit $status
