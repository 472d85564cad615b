#!/usr/bin/env bash
# End to end: the global hotkeys of the real Vesko2.exe, pressed as real X keys while the Wine
# desktop has the focus. Ctrl+Shift+Backspace pops the context menu up at the window's centre;
# Ctrl+Shift+Q swaps the wallpaper for the boss picture, written to its own file, and back.
# Then, with HotAct on, the activation key brings the program back from the notification area.
#   hotkeys.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics"
cp "$build/Vesko2.exe" "$out/app/"
convert -size 320x200 xc:'#00ff00' "$out/app/pics/green.bmp"
convert -size 320x200 xc:'#0000ff' "$out/app/pics/blue.bmp"
convert -size 320x200 xc:'#ff0000' "$out/app/boss.bmp"
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v TileWallpaper /d 1 /f >/dev/null 2>&1
boss=$(winepath -w "$out/app/boss.bmp" 2>/dev/null)
pics=$(winepath -w "$out/app/pics" 2>/dev/null)

# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"
shot() { import -window root "$out/$1.png"; }
# Hotkeys reach Wine only while its desktop window has the X focus.
press() {
  xdotool windowfocus --sync "$(xdotool search --name 'Wine desktop' | head -1)" 2>/dev/null
  xdotool key "$1"
  sleep 2
}
start() {
  (cd "$out/app" && timeout 120 wine ./Vesko2.exe "$pics" </dev/null >/dev/null 2>&1) &
  program=$!
  sleep 5
}
stop() {
  kill "$program" 2>/dev/null
  wineserver -k 2>/dev/null
  sleep 1
}

printf '[IncomingBoss]\r\nFileName=%s\r\n' "$boss" >"$out/app/Vesko2.ini"
start
shot start
normal=$(pixel "$out/start.png" 700 450)
echo "wallpaper at start: $normal"

# The menu at the window's centre (22, 17): its first entry lies just below and right of it.
press ctrl+shift+BackSpace
shot menu
[ "$(pixel "$out/menu.png" 60 26)" = "$(pixel "$out/start.png" 60 26)" ] &&
  fail "no menu at the window's centre"
xdotool key Escape
sleep 1

press ctrl+shift+q
shot boss
[ "$(pixel "$out/boss.png" 700 450)" = "255 0 0" ] || fail "the boss picture is not shown: $(pixel "$out/boss.png" 700 450)"
[ -f "$out/app/\$Boss\$Vesko2.bmp" ] || fail "the boss picture was not written to its own file"
press ctrl+shift+q
shot back
[ "$(pixel "$out/back.png" 700 450)" = "$normal" ] || fail "the wallpaper did not come back: $(pixel "$out/back.png" 700 450)"
stop

# HotAct: the activation key brings the program back from the notification area.
printf '[IncomingBoss]\r\nFileName=%s\r\n[Window]\r\nHotAct=1\r\nTray=1\r\n' "$boss" >"$out/app/Vesko2.ini"
start
shot tray
is_panel "$out/tray.png" 30 4 && fail "the program did not start in the tray"
press ctrl+shift+BackSpace
shot returned
is_panel "$out/returned.png" 30 4 || fail "the activation key did not bring the window back"
stop

echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e hotkeys: passed" || echo "e2e hotkeys: $failures failures"
exit $failures
