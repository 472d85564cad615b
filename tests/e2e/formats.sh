#!/usr/bin/env bash
# End to end: the real Vesko2.exe with ifwebp.spi beside it on a folder of WebP pictures made
# by Debian's own encoders (lossy, lossless, with alpha, animated) and a corrupt and a truncated
# one. After every Enter the wallpaper file must be dwebp's output of one of the pictures
# (transparency laid over the desktop's colour, within 1 per channel); every picture shows once
# per round, the broken files never, and no message appears.
#   formats.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics" "$out/src" "$out/ref"
cp "$build/Vesko2.exe" "$build/ifwebp.spi" "$out/app/"
# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"

# The pictures: plasmas, so every pixel counts.
src=$out/src
convert -seed 11 -size 320x200 plasma:fractal "$src/photo.png"
convert -seed 12 -size 300x180 plasma:fractal "$src/flat.png"
convert -seed 13 -size 240x160 plasma:fractal \( -size 240x160 gradient:white-black \) \
  -alpha off -compose CopyOpacity -composite "$src/alpha.png"
convert -seed 14 -size 200x150 plasma:fractal "$src/f1.png"
convert -seed 15 -size 200x150 plasma:fractal "$src/f2.png"
cwebp -quiet -q 80 "$src/photo.png" -o "$out/app/pics/lossy.webp"
cwebp -quiet -lossless "$src/flat.png" -o "$out/app/pics/lossless.webp"
cwebp -quiet -q 75 "$src/alpha.png" -o "$out/app/pics/alpha.webp"
img2webp -lossy -q 70 "$src/f1.png" -lossless "$src/f2.png" -o "$out/app/pics/animated.webp" \
  >/dev/null
# Broken ones: a RIFF/WEBP header over noise, and a picture cut short.
{ printf 'RIFF\000\020\000\000WEBPVP8 \000\010\000\000'; head -c 4000 /dev/urandom; } \
  >"$out/app/pics/corrupt.webp"
head -c 300 "$out/app/pics/lossy.webp" >"$out/app/pics/truncated.webp"

# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
# The references: dwebp's RGBA (the first frame of the animation), laid over the desktop's
# colour as the plug-in lays transparency.
background=$(timeout 30 wine reg query 'HKCU\Control Panel\Colors' /v Background 2>/dev/null |
  tr -d '\r' | awk '/Background/ { print $3 "," $4 "," $5 }')
[ -n "$background" ] || background="0,0,0"
webpmux -get frame 1 "$out/app/pics/animated.webp" -o "$src/first.webp" >/dev/null 2>&1
for name in lossy lossless alpha animated; do
  file=$out/app/pics/$name.webp
  [ "$name" = animated ] && file=$src/first.webp
  dwebp -quiet -pam "$file" -o "$src/$name.pam"
  convert "$src/$name.pam" -background "rgb($background)" -alpha remove -alpha off \
    "$out/ref/$name.png"
done

# Tiled: the wallpaper file is the picture itself (all are smaller than the screen).
timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v TileWallpaper /d 1 /f >/dev/null 2>&1
cd "$out/app"
timeout 240 wine ./Vesko2.exe "$(winepath -w "$out/app/pics" 2>/dev/null)" </dev/null \
  >/dev/null 2>&1 &
program=$!
wallpaper=$out/app/\$Vesko2.bmp
await "[ -f '$wallpaper' ]" 30 || fail "no wallpaper written at the start"
windows_before=$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)

cycle_pictures "lossy lossless alpha animated" 0.6%
windows_after=$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)
[ "$windows_after" -le "$windows_before" ] || fail "a window appeared while cycling (a message?)"
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null
[ "$failures" -eq 0 ] && echo "e2e formats: passed" || echo "e2e formats: $failures failures"
exit "$failures"
