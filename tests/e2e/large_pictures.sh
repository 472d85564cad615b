#!/usr/bin/env bash
# End to end: the largest pictures a user may drop on the real Vesko2.exe, each in a folder of its
# own with the shrink on: a 100-megapixel JPEG (12,000 x 8,400) and a 20,000 x 20,000 PNG through
# our plug-in become the wallpaper within the 32-bit program's memory; a PNG that claims
# 40,000 x 40,000 is refused by its size and skipped like any unreadable file. The program's peak
# memory is printed for each; screenshots stay in the output folder.
#   large_pictures.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/jpeg" "$out/app/png" "$out/app/over"
app=$out/app
cp "$build/Vesko2.exe" "$build/ifpng.spi" "$app/"
convert -size 12000x8400 gradient:'#000080'-'#ffff80' -quality 90 "$app/jpeg/navy-100mp.jpg"
python3 "$root/tests/e2e/make_large_png.py" "$app/png/gradient-400mp.png" 20000 20000
python3 "$root/tests/e2e/make_large_png.py" "$app/over/claims-1600mp.png" 40000 40000 --header-only
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"
timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v TileWallpaper /d 1 /f >/dev/null 2>&1

# Starts the program on one folder; waits until it has written the wallpaper or `seconds` have
# passed; prints "seconds-taken peak-kB" (seconds-taken "-" when no wallpaper came).
run() {
  local folder=$1 seconds=$2 start pid peak=0 taken=- hwm i
  rm -f "$app/\$Vesko2.bmp"
  printf '[Load]\r\nReSize=1\r\n' >"$app/Vesko2.ini"
  start=$(date +%s.%N)
  # (Its output goes elsewhere: this function's own is read by a command substitution.)
  (cd "$app" && timeout 120 wine ./Vesko2.exe "$(winepath -w "$app/$folder" 2>/dev/null)") \
    </dev/null >/dev/null 2>&1 &
  for i in $(seq 1 $((seconds * 5))); do
    sleep 0.2
    for pid in $(pgrep -f 'Vesko2.exe'); do
      grep -q '^Vesko2' "/proc/$pid/comm" 2>/dev/null || continue
      tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
      hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null)
      [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
    done
    if [ "$taken" = - ] && [ -s "$app/\$Vesko2.bmp" ]; then
      taken=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
      break
    fi
  done
  echo "$taken $peak"
}
stop() {
  wineserver -k 2>/dev/null
  await "! pgrep -f 'wineserver' >/dev/null" 20
}
# The shrunken picture on the desktop, once it has repainted: dark blue at the top left of the
# JPEG, a gradient for the PNG.
gradient() { [ "$(pixel "$1" 400 400)" != "$(pixel "$1" 400 700)" ]; }

limit_kb=$((1600 * 1024))
for case in jpeg png; do
  read -r taken peak <<<"$(run $case 60)"
  await_screen "$out/$case.png" gradient 15
  echo "$case: wallpaper after ${taken} s, peak memory $((peak / 1024)) MiB"
  [ "$taken" = - ] && fail "the $case picture did not become the wallpaper"
  [ "$peak" -gt "$limit_kb" ] && fail "the $case picture took $((peak / 1024)) MiB"
  gradient "$out/$case.png" || fail "the $case wallpaper shows no gradient"
  stop
done
read -r taken peak <<<"$(run over 15)"
at_corner() { is_panel "$1" 30 4; }
await_screen "$out/over.png" at_corner 15
echo "over the limit: wallpaper ${taken}, peak memory $((peak / 1024)) MiB"
[ "$taken" = - ] || fail "a picture past the size limit became the wallpaper"
[ "$peak" -gt $((200 * 1024)) ] && fail "the refused picture still took $((peak / 1024)) MiB"
is_panel "$out/over.png" 30 4 || fail "the program is not there after refusing the picture"
stop
echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "e2e large pictures: passed" || echo "e2e large pictures: $failures failures"
exit "$failures"
