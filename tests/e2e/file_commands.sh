#!/usr/bin/env bash
# End to end: the file commands of the real Vesko2.exe through real X input. Ctrl+C opens the
# favourite folders dialog (favourites switched on in the settings file) and Enter copies the
# current picture into the first slot's folder; Del sends it to the recycle bin after the
# shell's own question, answered with Enter. The screenshots stay in the output folder.
#   file_commands.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics" "$out/dest"
cp "$build/Vesko2.exe" "$out/app/"
convert -size 320x200 gradient:'#8080c0'-white "$out/app/pics/a.bmp"
convert -size 320x200 gradient:'#c08080'-white "$out/app/pics/b.bmp"
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"
dest=$(winepath -w "$out/dest" 2>/dev/null)
printf '[FavoriteFolder]\r\n0=%s\r\nEnabled=1\r\n' "$dest" >"$out/app/Vesko2.ini"
cd "$out/app"
timeout 120 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!

at_corner() { is_panel "$1" 30 4; }
await_screen "$out/start.png" at_corner 60 || fail "no window at the start"
# The dialog is 408 x 275, centred on the 1280 x 800 desktop: its corner is at (436, 262).
is_title() { [ "$(pixel "$1" 440 266)" = "0 0 128" ]; }
# A dialog or message box near the middle: an active title bar (navy, or the shell's blue).
a_box() { [ "$(convert "$1" -crop 500x300+390+250 txt:- | grep -c -e '#000080' -e '#3296FA')" -gt 200 ]; }
key_until is_title "$out/favourites.png" ctrl+c ||
  fail "no favourites dialog after Ctrl+C: $(pixel "$out/favourites.png" 440 266)"
xdotool key Return
await "[ -n \"\$(find '$out/dest' -name '*.bmp')\" ]" 15
copied=$(find "$out/dest" -name '*.bmp' -printf '%f\n')
[ -n "$copied" ] || fail "Enter copied nothing into the first slot's folder"
[ -n "$copied" ] && [ -f "$out/app/pics/$copied" ] || fail "the copy is not of a listed picture: $copied"
await "grep -q LastSendFolder= '$out/app/Vesko2.ini' 2>/dev/null" 10 ||
  fail "the chosen folder was not kept"

key_until a_box "$out/trash-question.png" Delete || fail "no question after Delete"
xdotool key Return
await "[ \$(find '$out/app/pics' -name '*.bmp' | wc -l) -le 1 ]" 15
import -window root "$out/after-trash.png"
left=$(find "$out/app/pics" -name '*.bmp' | wc -l)
[ "$left" -eq 1 ] || fail "the recycle bin took $((2 - left)) pictures instead of 1"
[ -n "$copied" ] && [ -f "$out/app/pics/$copied" ] && fail "the current picture ($copied) is still there"
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e file commands: passed" || echo "e2e file commands: $failures failures"
exit $failures
