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
# Hotkeys reach Wine only while its desktop window has the X focus.
press() {
  xdotool windowfocus --sync "$(xdotool search --name 'Wine desktop' | head -1)" 2>/dev/null
  xdotool key "$1"
}
# What the screen shows: the panel at the corner, the program's icon in the notification area,
# a colour at the middle of the desktop.
at_corner() { is_panel "$1" 30 4; }
tray_icon() { [ "$(convert "$1" -crop 400x40+880+760 txt:- | grep -c '#F4E4D2')" -gt 0 ]; }
desktop_is() { [ "$(pixel "$1" 700 450)" = "$wanted" ]; }
a_picture() { case "$(pixel "$1" 700 450)" in "0 255 0" | "0 0 255") ;; *) false ;; esac }
start() {
  (cd "$out/app" && timeout 120 wine ./Vesko2.exe "$pics" </dev/null >/dev/null 2>&1) &
  program=$!
}
stop() {
  kill "$program" 2>/dev/null
  wineserver -k 2>/dev/null
  await "! kill -0 $program 2>/dev/null" 20
}

printf '[IncomingBoss]\r\nFileName=%s\r\n' "$boss" >"$out/app/Vesko2.ini"
start
window_and_picture() { at_corner "$1" && a_picture "$1"; }
await_screen "$out/start.png" window_and_picture 60 || fail "no window or no picture at the start"
normal=$(pixel "$out/start.png" 700 450)
echo "wallpaper at start: $normal"

# The menu at the window's centre (22, 17): its first entry lies just below and right of it.
press ctrl+shift+BackSpace
await_change "$out/menu.png" "$out/start.png" 60x30+40+20 10 || fail "no menu at the window's centre"
# Closed by a click beside it (under Wine, Escape does not reach a menu the hotkey opened).
xdotool mousemove 700 450 click 1
await_restored "$out/menu-closed.png" "$out/start.png" 60x30+40+20 10 || fail "the menu did not close"

press ctrl+shift+q
wanted="255 0 0"
await_screen "$out/boss.png" desktop_is 15 ||
  fail "the boss picture is not shown: $(pixel "$out/boss.png" 700 450)"
[ -f "$out/app/\$Boss\$Vesko2.bmp" ] || fail "the boss picture was not written to its own file"
press ctrl+shift+q
wanted=$normal
await_screen "$out/back.png" desktop_is 15 ||
  fail "the wallpaper did not come back: $(pixel "$out/back.png" 700 450)"
stop

# HotAct: the activation key brings the program back from the notification area.
printf '[IncomingBoss]\r\nFileName=%s\r\n[Window]\r\nHotAct=1\r\nTray=1\r\n' "$boss" >"$out/app/Vesko2.ini"
start
await_screen "$out/tray.png" tray_icon 60 || fail "no icon in the notification area"
is_panel "$out/tray.png" 30 4 && fail "the program did not start in the tray"
press ctrl+shift+BackSpace
await_screen "$out/returned.png" at_corner 10 || fail "the activation key did not bring the window back"
stop

echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e hotkeys: passed" || echo "e2e hotkeys: $failures failures"
exit $failures
