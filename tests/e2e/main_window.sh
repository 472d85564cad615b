#!/usr/bin/env bash
# End to end: the real Vesko2.exe in the Wine desktop, driven by real X input. The panel is
# dragged to a new place; its context menu opens with its Japanese captions (photographed);
# Ctrl+T sends the program to the notification area (photographed with the icon); a double click
# on the icon brings the window back; the menu's last entry closes the program, which saves the
# new place in its settings.
#   main_window.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics"
cp "$build/Vesko2.exe" "$out/app/"
for c in '#3070c0' '#c07030' '#30a050'; do
  convert -size 640x400 gradient:"$c"-white "$out/app/pics/${c#\#}.bmp"
done
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v TileWallpaper /d 0 /f >/dev/null 2>&1
cd "$out/app"
timeout 120 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!

# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"

at_corner() { is_panel "$1" 30 4; }
await_screen "$out/start.png" at_corner 60 ||
  fail "no panel at the top left corner: $(pixel "$out/start.png" 30 4)"

# Drag by the panel (away from its buttons) to a new place, at a hand's pace.
xdotool mousemove 30 4 sleep 0.3 mousedown 1 sleep 0.3
for step in 1 2 3 4 5 6 7 8 9 10; do
  xdotool mousemove $((30 + step * 40)) $((4 + step * 25)) sleep 0.05
done
xdotool mouseup 1
arrived() { ! is_panel "$1" 30 4 && is_panel "$1" 425 252; }
await_screen "$out/dragged.png" arrived 10 || {
  is_panel "$out/dragged.png" 30 4 && fail "the panel did not leave its place"
  fail "the panel did not arrive: $(pixel "$out/dragged.png" 425 252)"
}
# Where key_until clicks for the focus from now on.
# shellcheck disable=SC2034
panel_x=430 panel_y=254

# The context menu at the panel, its first submenu open.
xdotool mousemove 430 254 click 3
await_change "$out/menu-open.png" "$out/dragged.png" 120x100+440+262 10 || fail "no context menu"
xdotool key Down Right
await_change "$out/context-menu.png" "$out/menu-open.png" 150x80+640+262 10 || fail "no submenu"
xdotool key Escape Escape
await_restored "$out/menu-closed.png" "$out/dragged.png" 500x300+440+262 10 ||
  fail "the menu did not close"

# Ctrl+T: into the notification area; the panel disappears.
in_tray() { ! is_panel "$1" 425 252; }
key_until in_tray "$out/tray.png" ctrl+t || fail "the panel is still shown in tray mode"
# A command's change of settings is written at once, not at the close.
ini=$out/app/Vesko2.ini
await "tr -d '\r' <'$ini' 2>/dev/null | grep -q '^Tray=1'" 10 || fail "tray mode is not in the settings"

# The icon: the first spot of its frame colour in the taskbar's notification area.
read -r ix iy < <(convert "$out/tray.png" -crop 400x40+880+760 txt:- |
  awk -F'[,: ]+' '/#F4E4D2/ { print $1 + 880 + 4, $2 + 760 + 4; exit }')
if [ -z "${ix:-}" ]; then
  fail "no tray icon found"
else
  echo "tray icon at $ix,$iy"
  xdotool mousemove "$ix" "$iy" click --repeat 2 --delay 80 1
  back() { is_panel "$1" 425 252; }
  await_screen "$out/back.png" back 10 || fail "a double click on the icon did not bring the window back"
fi

# Close through the menu's last entry ("終了", eight rows below the menu's top): the settings
# keep the new place.
xdotool mousemove 430 254 click 3
await_change "$out/closing.png" "$out/back.png" 120x100+440+262 10 || fail "no menu to close from"
xdotool mousemove 465 383 click 1
await_exit "$program" 20 || fail "終了 did not close the program"
ini=$out/app/Vesko2.ini
if [ -f "$ini" ]; then
  left=$(tr -d '\r' <"$ini" | sed -n 's/^Left=//p' | head -1)
  top=$(tr -d '\r' <"$ini" | sed -n 's/^Top=//p' | head -1)
  echo "saved place: $left,$top"
  [ "$left" = "400" ] && [ "$top" = "250" ] || fail "the saved place is $left,$top, not 400,250"
else
  fail "no settings file after closing"
fi
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e main window: passed" || echo "e2e main window: $failures failures"
exit $failures
