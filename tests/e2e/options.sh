#!/usr/bin/env bash
# End to end: the options dialog of the real Vesko2.exe, opened with Ctrl+O through real X
# input. Each of its three pages is photographed (stepped with the mouse wheel), then the
# separator dialog; Esc cancels. The pages are photographed again at 144 dpi. The screenshots
# stay in the output folder for a look.
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

# The dialog is 379 x 311, centred on the 1280 x 800 desktop: its corner is at (450, 244).
is_title() { [ "$(pixel "$1" 455 251)" = "253 196 240" ]; }
no_title() { ! is_title "$1"; }
panel_up() { is_panel "$1" 30 4; }
page=370x170+454+289  # the page's controls, below the title
shown_before=""
page_changed() { [ "$(region "$1" "$page")" != "$shown_before" ]; }
open_dialog() {
  xdotool mousemove 30 4 click 1
  xdotool key ctrl+o
  await_screen "$out/$1.png" is_title
}
# Turns the wheel over the page chooser (bottom left) and waits for the next page.
wheel_at=(530 539)
wheel_to() {
  shown_before=$(region "$2" "$page")
  xdotool mousemove "${wheel_at[@]}" click 5
  await_screen "$out/$1.png" page_changed
}

await_screen "$out/start.png" panel_up 60 || fail "the panel never showed"
open_dialog page-1 || fail "no options dialog after Ctrl+O: $(pixel "$out/page-1.png" 455 251)"
wheel_to page-2 "$out/page-1.png" || fail "the wheel did not turn to the second page"
wheel_to page-3 "$out/page-2.png" || fail "the wheel did not turn to the third page"
# The separator panel of page 3 (shown because the message file exists).
separator_open() { [ "$(pixel "$1" 640 400)" != "$(pixel "$out/page-3.png" 640 400)" ]; }
separator_closed() { ! separator_open "$1"; }
xdotool mousemove 597 352 click 1
await_screen "$out/separator.png" separator_open || fail "the separator dialog did not open"
xdotool mousemove 727 432 click 1  # its Cancel panel: the dialog is 282 x 111 at (499, 344)
await_screen "$out/separator-closed.png" separator_closed || fail "the separator dialog stayed"
# Enter and Ctrl+Enter in the message box break its lines; OK saves them all.
xdotool mousemove 640 429 click 1
xdotool key ctrl+End Return
xdotool type second
xdotool key Return
xdotool type third
xdotool key ctrl+Return
xdotool type fourth
import -window root "$out/message.png"
is_title "$out/message.png" || fail "Enter in the message box closed the dialog"
xdotool mousemove 703 540 click 1  # OK
await_screen "$out/closed.png" no_title || fail "OK did not close the dialog"
panel_up "$out/closed.png" || fail "the main window is gone"
message=$(tr -d '\r' <"$out/app/Vesko2.mes" | tail -n 3 | tr '\n' ' ')
[ "$message" = "second third fourth " ] || fail "the message file ends with: $message"

# Opened again, the focus is on its first box; the wheel turns the page, and keys then act on
# the page shown: Space and a letter leave the dialog answering, and Esc closes it.
open_dialog again || fail "no options dialog after the second Ctrl+O"
wheel_to again-turned "$out/again.png" || fail "the wheel did not turn the page"
xdotool key space
xdotool key a
xdotool key Escape
if await_screen "$out/again-closed.png" no_title; then
  panel_up "$out/again-closed.png" || fail "the main window is gone after the keys"
else
  fail "the dialog stopped answering after a page change and Space"
fi
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null

# At 144 dpi (150 %), the dialog grows by half and each page is photographed for a look: no
# caption cut off, nothing overlapping. The desktop goes back to 96 dpi whatever happens.
set_dpi() { timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
trap 'set_dpi 96; wineserver -k 2>/dev/null' EXIT
set_dpi 144
wineserver -k 2>/dev/null
timeout 120 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!
# 568 x 466, centred: its corner is at (356, 167), its page chooser at (475, 607).
is_title() { [ "$(pixel "$1" 360 170)" = "253 196 240" ]; }
page=540x250+362+200
await_screen "$out/start-144.png" panel_up 60 || fail "the panel never showed at 144 dpi"
open_dialog page-1-144 || fail "no options dialog at 144 dpi: $(pixel "$out/page-1-144.png" 360 170)"
wheel_at=(475 607)
wheel_to page-2-144 "$out/page-1-144.png" || fail "no second page at 144 dpi"
wheel_to page-3-144 "$out/page-2-144.png" || fail "no third page at 144 dpi"
xdotool key Escape
await_screen "$out/closed-144.png" no_title || fail "Esc did not close the dialog at 144 dpi"
kill "$program" 2>/dev/null
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e options: passed" || echo "e2e options: $failures failures"
exit $failures
