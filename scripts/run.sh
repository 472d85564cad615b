#!/usr/bin/env bash
# Starts Vesko2.exe in the Wine desktop on a folder of sample pictures, and saves a screenshot
# of the desktop. With a display of its own (DISPLAY set) the program keeps running until it is
# closed from its menu; on a headless machine an Xvfb display is used and the run ends after
# the screenshot.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
run=$build/run
mkdir -p "$run"
python3 "$root/scripts/make-samples.py" "$run/samples"

if [ -z "${DISPLAY:-}" ]; then
  VESKO_RUN_HEADLESS=1 exec xvfb-run -a -s '-screen 0 1280x800x24' "$0" "$@"
fi
# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh"
cd "$run"
wineserver -p
timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1
samples=$(winepath -w "$run/samples" 2>/dev/null)
echo "Starting Vesko2.exe on $samples (settings: $run/Vesko2.ini)"
timeout 3600 wine "$build/win/Vesko2.exe" "$samples" </dev/null >"$run/wine.log" 2>&1 &
program=$!
sleep 6
import -window root "$run/screenshot.png"
echo "Screenshot of the Wine desktop: $run/screenshot.png"
if [ -z "${VESKO_RUN_HEADLESS:-}" ]; then
  echo "Vesko 2 is running; close it from its right-click menu (終了)."
  wait $program
  exit 0
fi
wineserver -k
