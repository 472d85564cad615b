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
wheel_to() {
  shown_before=$(region "$2" "$page")
  xdotool mousemove 530 539 click 5
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
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e options: passed" || echo "e2e options: $failures failures"
exit $failures
