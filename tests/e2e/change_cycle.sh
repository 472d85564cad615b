#!/usr/bin/env bash
# End to end: the real Vesko2.exe in the Wine desktop on a folder of real pictures (BMP, JPEG,
# a PNG through our WIC plug-in, a picture inside a ZIP through an ArcLink file and our
# UNZIP32.DLL, a shell shortcut to a picture elsewhere, a corrupt file). Enter is pressed through real X input; after
# each press the desktop is photographed and its colour checked: every picture is shown once
# per round, the corrupt file never. Screenshots are kept in the output folder.
#   change_cycle.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics"
cp "$build/Vesko2.exe" "$build/ifwic.spi" "$build/UNZIP32.DLL" "$out/app/"
mkdir -p "$out/app/elsewhere"
convert -size 320x200 xc:'#ff0000' "$out/app/pics/red.bmp"
convert -size 320x200 xc:'#00ff00' -quality 100 "$out/app/pics/green.jpg"
convert -size 320x200 xc:'#0000ff' "$out/app/pics/blue.png"
head -c 4000 /dev/urandom > "$out/app/pics/corrupt.bmp"
convert -size 320x200 xc:'#ffff00' "$out/app/elsewhere/yellow.bmp"
convert -size 320x200 xc:'#ff00ff' "$out/app/elsewhere/magenta.bmp"
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
python3 "$root/tests/e2e/make_links.py" "$out/app" \
  "$(winepath -w "$out/app/elsewhere/yellow.zip" 2>/dev/null)" \
  "$(winepath -w "$out/app/elsewhere/magenta.bmp" 2>/dev/null)"

# Tiled: any point of the desktop shows the picture.
timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v TileWallpaper /d 1 /f >/dev/null 2>&1
cd "$out/app"
timeout 120 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!

# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"

# The colour of the desktop at one point of a screenshot, named: red, green, blue, yellow,
# magenta or other (JPEG is lossy).
colour() {
  convert "$1" -format '%[fx:int(255*p{700,450}.r)] %[fx:int(255*p{700,450}.g)] %[fx:int(255*p{700,450}.b)]' info: |
    awk '{ if ($1 > 220 && $2 < 35 && $3 < 35) print "red";
           else if ($2 > 220 && $1 < 35 && $3 < 35) print "green";
           else if ($3 > 220 && $1 < 35 && $2 < 35) print "blue";
           else if ($1 > 220 && $2 > 220 && $3 < 35) print "yellow";
           else if ($1 > 220 && $3 > 220 && $2 < 35) print "magenta";
           else printf "other(%s,%s,%s)\n", $1, $2, $3 }'
}
# A picture other than the one before it.
another_picture() {
  local now
  now=$(colour "$1")
  [ "$now" != "$previous" ] && case "$now" in red | green | blue | yellow | magenta) ;; *) false ;; esac
}

declare -A seen=()
previous=none
await_screen "$out/step-0.png" another_picture 60 || fail "no picture at the start"
previous=$(colour "$out/step-0.png")
echo "start: $previous"
for step in 1 2 3 4 5 6 7 8 9 10 11; do
  xdotool key Return
  await_screen "$out/step-$step.png" another_picture 15
  now=$(colour "$out/step-$step.png")
  echo "Enter $step: $now"
  case "$now" in
    red | green | blue | yellow | magenta) ;;
    *) fail "the desktop shows $now, not one of the pictures" ;;
  esac
  [ "$now" = "$previous" ] && fail "Enter did not change the wallpaper"
  [ -n "$now" ] && seen["$now"]=1
  previous=$now
done
[ "${#seen[@]}" -eq 5 ] || fail "${#seen[@]} different pictures shown, 5 expected"
# With no close, the settings name the picture shown within seconds (after 11 steps, not the
# first one): a kill would lose nothing.
ini=$out/app/Vesko2.ini
names_shown() { tr -d '\r' <"$ini" 2>/dev/null | grep -qi "^PaperName=.*\\\\$previous\."; }
await names_shown 15 ||
  fail "while $previous shows, the settings hold: $(tr -d '\r' <"$ini" 2>/dev/null | grep -i '^PaperName=')"
wallpaper=$(timeout 30 wine reg query 'HKCU\Control Panel\Desktop' /v Wallpaper 2>/dev/null | tr -d '\r' | grep -i wallpaper)
echo "registry: $wallpaper"
case "$wallpaper" in
  *'$Vesko2.bmp'*) ;;
  *) fail "the registry does not name the wallpaper file" ;;
esac
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e change cycle: passed" || echo "e2e change cycle: $failures failures"
exit $failures
