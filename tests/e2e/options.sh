#!/usr/bin/env bash
# End to end: the options dialog of the real Vesko2.exe, opened with Ctrl+O through real X
# input. Each of its three pages is photographed (stepped with the mouse wheel), then the
# separator dialog; Esc cancels. The screenshots stay in the output folder for a look.
#   options.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics"
cp "$build/Vesko2.exe" "$out/app/"
convert -size 320x200 gradient:'#8080c0'-white "$out/app/pics/a.bmp"
printf 'first message\r\n' >"$out/app/Vesko2.mes"
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"
cd "$out/app"
timeout 120 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!
sleep 5

# The dialog is 379 x 249, centred on the 1280 x 800 desktop: its corner is at (450, 275).
is_title() { [ "$(pixel "$1" 455 277)" = "253 196 240" ]; }
xdotool mousemove 30 4 click 1
sleep 0.5
xdotool key ctrl+o
sleep 2
import -window root "$out/page-1.png"
is_title "$out/page-1.png" || fail "no options dialog after Ctrl+O: $(pixel "$out/page-1.png" 455 277)"
xdotool mousemove 640 380 click 5
sleep 1
import -window root "$out/page-2.png"
xdotool click 5
sleep 1
import -window root "$out/page-3.png"
# The separator panel of page 3 (shown because the message file exists).
xdotool mousemove 597 383 click 1
sleep 1.5
import -window root "$out/separator.png"
[ "$(pixel "$out/separator.png" 640 400)" = "$(pixel "$out/page-3.png" 640 400)" ] &&
  fail "the separator dialog did not open"
xdotool mousemove 727 432 click 1  # its Cancel panel: the dialog is 282 x 111 at (499, 344)
sleep 1
xdotool key Escape
sleep 1
import -window root "$out/closed.png"
is_title "$out/closed.png" && fail "Esc did not close the dialog"
is_panel "$out/closed.png" 30 4 || fail "the main window is gone"
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e options: passed" || echo "e2e options: $failures failures"
exit $failures
