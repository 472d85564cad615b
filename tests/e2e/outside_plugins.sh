#!/usr/bin/env bash
# End to end: a plug-in that never returns from the only picture of the folder. The real
# Vesko2.exe keeps its window: a right-click opens the menu while the call waits (the wait is
# set far past the test), and its last entry, 終了, ends the program and its plug-in helper.
#   outside_plugins.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics"
cp "$build/Vesko2.exe" "$build/fixture-spi/fxbadl.spi" "$out/app/"
# A picture of the stalling plug-in's format: its magic, 4 x 3 pixels of 24 bits.
{
  printf 'FXBL?\004\000\003\000\030'
  head -c 36 /dev/zero
} >"$out/app/pics/a.fxb"
printf '[Load]\r\nPluginTimeout=600\r\n' >"$out/app/Vesko2.ini"
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"
cd "$out/app"
timeout 120 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!

at_corner() { is_panel "$1" 30 4; }
await_screen "$out/start.png" at_corner 60 || fail "no window at the start"
# This program's own helpers, by the path they were started from: another program's helper
# running beside the tests (one stands in for it here) is not counted.
python3 -c 'import time; time.sleep(120)' "$out/other/Vesko2.exe" -helper &
decoy=$!
helpers() { pgrep -fc -- "$(basename "$out").app.Vesko2\.exe.*-helper" || true; }
await '[ "$(helpers)" -ge 1 ]' 30 || fail "no plug-in helper runs"
# Inside the plug-in's call now: the menu still opens, and 終了 ends the program.
xdotool mousemove 30 4 click 3
await_change "$out/menu.png" "$out/start.png" 40x30+40+20 10 || fail "no context menu while the plug-in stalls"
asked=$(date +%s%N)
xdotool key Up Return
await_exit "$program" 20 || fail "the program did not end from its menu's 終了 while the plug-in stalls"
echo "ended $((($(date +%s%N) - asked) / 1000000)) ms after 終了"
await '[ "$(helpers)" -eq 0 ]' 15 || fail "a plug-in helper outlived the program"
[ -f "$out/app/\$Vesko2.bmp" ] && fail "a wallpaper was written: the call did not stall"

# The same with an archiver library that never returns from a member (the stand-in UNLHA32.DLL
# stalls on names holding "loop"): 終了 ends the program and its helper.
rm -rf "$out/app/pics" "$out/app/fxbadl.spi" && mkdir -p "$out/app/pics"
cp "$build/fixture-arc/UNLHA32.DLL" "$out/app/"
printf -- '-lh5-' >"$out/app/pics.lzh"
printf '%s\r\nloop.bmp\r\n70\r\n' "$(winepath -w "$out/app/pics.lzh" 2>/dev/null)" >"$out/app/pics/a.ArcLink"
timeout 120 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!
# The panel is red while a picture inside an archive loads.
busy_at_corner() { [ "$(pixel "$1" 30 4)" = "255 0 0" ]; }
await_screen "$out/start-archive.png" busy_at_corner 60 || fail "no busy window at the archive's start"
await '[ "$(helpers)" -ge 1 ]' 30 || fail "no helper runs for the archiver"
xdotool mousemove 30 4 click 3
await_change "$out/menu-archive.png" "$out/start-archive.png" 40x30+40+20 10 ||
  fail "no context menu while the archiver stalls"
xdotool key Up Return
await_exit "$program" 20 || fail "the program did not end from 終了 while the archiver stalls"
await '[ "$(helpers)" -eq 0 ]' 15 || fail "a helper outlived the program after the archiver"
kill "$program" "$decoy" 2>/dev/null
wineserver -k 2>/dev/null
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e outside plug-ins: passed" || echo "e2e outside plug-ins: $failures failures"
exit $failures
