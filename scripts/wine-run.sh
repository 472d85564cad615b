#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix, always under a timeout.
#   VESKO_TIMEOUT  seconds before the program is killed (default 300)
set -uo pipefail
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
exec timeout --kill-after=10 "${VESKO_TIMEOUT:-300}" wine "$@"
