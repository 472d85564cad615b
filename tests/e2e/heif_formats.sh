#!/usr/bin/env bash
# End to end: the real Vesko2.exe with ifheif.spi (and libheif.dll, libde265.dll) beside it on a
# folder of HEIC and AVIF pictures made by Debian's own encoders: heif-enc (HEVC, with alpha)
# and avifenc (8, 10 and 12 bits; 4:2:0, 4:2:2, 4:4:4; alpha), an iPhone-like HEIC (a grid,
# turned, in Display P3), and a corrupt and a truncated HEIC; beside them photos with colour
# profiles in JPEG, PNG and WebP (tests/data/color). After every Enter the wallpaper file must
# be the reference decoding of one of the pictures (heif-convert's, transparency laid over the
# desktop's colour; for a picture with a profile, ImageMagick's conversion to sRGB), within 2
# per channel; every picture shows once per round, the broken files never, and no message
# appears.
#   heif_formats.sh <windows build folder> <output folder>
set -uo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out/app/pics" "$out/src" "$out/ref"
cp "$build/Vesko2.exe" "$build/ifheif.spi" "$build/libheif.dll" "$build/libde265.dll" \
  "$build/ifpng.spi" "$build/ifwebp.spi" "$out/app/"
# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"

src=$out/src
convert -seed 21 -size 320x200 plasma:fractal -depth 8 "$src/a.png"
convert -seed 22 -size 240x160 plasma:fractal \( -size 240x160 gradient:white-black \) \
  -alpha off -compose CopyOpacity -composite -depth 8 PNG32:"$src/b.png"
convert -seed 23 -size 300x180 plasma:fractal -depth 8 "$src/c.png"
convert -seed 24 -size 280x170 plasma:fractal \( -size 280x170 gradient:black-white \) \
  -alpha off -compose CopyOpacity -composite -depth 8 PNG32:"$src/d.png"
convert -seed 25 -size 260x150 plasma:fractal -depth 8 "$src/e.png"
pics=$out/app/pics
heif-enc -q 85 "$src/a.png" -o "$pics/photo.heic" >/dev/null
heif-enc -q 85 "$src/b.png" -o "$pics/alpha.heic" >/dev/null
avifenc --min 8 --max 16 -d 8 -y 420 "$src/c.png" "$pics/eight.avif" >/dev/null
avifenc --min 8 --max 16 -d 10 -y 444 "$src/d.png" "$pics/ten-alpha.avif" >/dev/null
avifenc --min 8 --max 16 -d 12 -y 422 "$src/e.png" "$pics/twelve.avif" >/dev/null
head -c 700 "$pics/photo.heic" >"$pics/truncated.heic"
cp "$pics/photo.heic" "$pics/corrupt.heic"
printf '%*s' 80 '' | tr ' ' '\377' | dd of="$pics/corrupt.heic" bs=1 seek=120 conv=notrunc 2>/dev/null
# As an iPhone writes a photo: a cropped grid of tiles, turned by irot, with a P3 profile
# (tests/data/heif/make_grid.py).
cp "$root/tests/data/heif/iphone-like.heic" "$pics/iphone.heic"
color=$root/tests/data/color
cp "$color/rose-adobergb.jpg" "$pics/adobe.jpg"
cp "$color/wizard-p3.jpg" "$pics/p3.jpg"
cp "$color/rose-prophoto.png" "$pics/prophoto.png"
cp "$color/rose-adobergb.webp" "$pics/adobe.webp"
names="photo alpha eight ten-alpha twelve iphone adobe p3 prophoto adobe-webp"

# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
background=$(timeout 30 wine reg query 'HKCU\Control Panel\Colors' /v Background 2>/dev/null |
  tr -d '\r' | awk '/Background/ { print $3 "," $4 "," $5 }')
[ -n "$background" ] || background="0,0,0"
for name in photo alpha eight ten-alpha twelve iphone; do
  file=$(find "$pics" -name "$name.*" | head -1)
  heif-convert "$file" "$src/$name.ref.png" >/dev/null
  convert "$src/$name.ref.png" -depth 8 -background "rgb($background)" -alpha remove -alpha off \
    "$out/ref/$name.png"
done
# The P3 photo in sRGB: its decoding given the profile, then converted.
convert "$out/ref/iphone.png" +profile '*' -profile "$root/tests/data/heif/display-p3.icc" \
  -profile "$color/sRGB.icc" -depth 8 "$out/ref/iphone.png"
for file in adobe.jpg p3.jpg prophoto.png; do
  convert "$pics/$file" -profile "$color/sRGB.icc" -depth 8 "$out/ref/${file%.*}.png"
done
dwebp -quiet "$pics/adobe.webp" -o "$src/adobe-webp.png"
convert "$src/adobe-webp.png" -profile "$color/AdobeRGB1998.icc" -profile "$color/sRGB.icc" \
  -depth 8 "$out/ref/adobe-webp.png"

timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v TileWallpaper /d 1 /f >/dev/null 2>&1
cd "$out/app"
timeout 240 wine ./Vesko2.exe "$(winepath -w "$pics" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
program=$!
wallpaper=$out/app/\$Vesko2.bmp
await "[ -f '$wallpaper' ]" 60 || fail "no wallpaper written at the start"
windows_before=$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)

cycle_pictures "$names" 0.8%
windows_after=$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)
[ "$windows_after" -le "$windows_before" ] || fail "a window appeared while cycling (a message?)"
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null

# /R, as scheduled tasks and scripts use it: the start's change is made, through the helper
# (a HEIC, an AVIF, a JPEG in a ZIP named by an .ArcLink file and read by UNZIP32.DLL), before
# the program ends with exit code 0. (A folder of nothing readable says so in a box and then
# ends with 1.)
once=$out/once
mkdir -p "$once/app" "$once/arc/photos"
cp "$out/app/Vesko2.exe" "$out/app/ifheif.spi" "$out/app/libheif.dll" "$out/app/libde265.dll" \
  "$build/UNZIP32.DLL" "$once/app/"
convert -size 96x64 xc:'#2050e0' -quality 95 "$once/arc/photos/blue.jpg"
(cd "$once/arc" && zip -q -r "$once/blue.zip" photos)
for case in photo.heic:0 eight.avif:0 blue.ArcLink:0; do
  file=${case%%:*} expected=${case#*:}
  folder=$once/${file%%.*}
  mkdir -p "$folder"
  if [ "$file" = blue.ArcLink ]; then
    cp "$once/blue.zip" "$folder/"
    printf '%s\r\nphotos\\blue.jpg\r\n%s\r\n' "$(winepath -w "$folder/blue.zip" 2>/dev/null)" \
      "$(stat -c %s "$once/arc/photos/blue.jpg")" >"$folder/blue.ArcLink"
  else
    cp "$pics/$file" "$folder/"
  fi
  rm -f "$once/app/\$Vesko2.bmp"
  (cd "$once/app" && timeout 60 wine ./Vesko2.exe /R "$(winepath -w "$folder" 2>/dev/null)" \
    </dev/null >/dev/null 2>&1)
  code=$?
  echo "/R $file: exit code $code"
  [ "$code" = "$expected" ] || fail "/R on $file ended with $code, not $expected"
  if [ "$expected" = 0 ]; then
    [ -f "$once/app/\$Vesko2.bmp" ] || fail "/R on $file wrote no wallpaper"
  fi
done
wineserver -k 2>/dev/null

# Phone photos at phones' sizes with the deadline at its least (1 s without a sign of life): a
# 48-megapixel HEIC and three of 24 megapixels, each tinted its own colour, all shown in turn.
# Their decoding and their hand-over (144 MB for the largest) take about as long as the
# deadline; the plug-in shows life while it decodes and the helper while it hands the pixels
# over, so none is skipped as stalled and the plug-in is never left.
big=$out/big
mkdir -p "$big/app/pics"
cp "$out/app/Vesko2.exe" "$out/app/ifheif.spi" "$out/app/libheif.dll" "$out/app/libde265.dll" "$big/app/"
tints="1:red:8000x6000 2:lime:6000x4000 3:blue:6000x4000 4:yellow:6000x4000"
for t in $tints; do
  IFS=: read -r n tint size <<<"$t"
  convert -seed "$((40 + n))" -size 400x300 plasma:fractal -resize "$size!" -fill "$tint" \
    -colorize 60% -depth 8 "$src/big$n.png"
  heif-enc -q 70 -p preset=ultrafast "$src/big$n.png" -o "$big/app/pics/big$n.heic" >/dev/null
  rm "$src/big$n.png"
done
# The tint a wallpaper shows: its mean colour's strongest channels.
tint_of() {
  convert "$1" -resize '1x1!' -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info: |
    awk '{ r = $1; g = $2; b = $3
           if (r > 150 && g > 150 && b < 120) print "yellow"; else if (r > g && r > b) print "red";
           else if (g > r && g > b) print "lime"; else print "blue" }'
}
big_pics=$(winepath -w "$big/app/pics" 2>/dev/null)
printf '[Load]\r\nPluginTimeout=1\r\nPaperFolder=%s\r\nPaperName=%s\\big1.heic\r\n' "$big_pics" "$big_pics" \
  >"$big/app/Vesko2.ini"
cd "$big/app"
# Started without a folder: the settings name the first picture.
timeout 240 wine ./Vesko2.exe </dev/null >/dev/null 2>&1 &
program=$!
wallpaper=$big/app/\$Vesko2.bmp
await "[ -f '$wallpaper' ]" 60 || fail "no wallpaper written at the start of the large photos"
shown=$(tint_of "$wallpaper")
for step in 1 2 3; do
  before=$(stat -c %y "$wallpaper" 2>/dev/null)
  rewritten() { [ "$(stat -c %y "$wallpaper" 2>/dev/null)" != "$before" ]; }
  key_until rewritten "$big/.probe.png" Return || fail "Enter $step wrote no wallpaper of the large photos"
  shown="$shown $(tint_of "$wallpaper")"
done
echo "large photos: $shown"
[ "$shown" = "red lime blue yellow" ] || fail "the large photos showed '$shown', not each in turn"
kill "$program" 2>/dev/null
wineserver -k 2>/dev/null
[ "$failures" -eq 0 ] && echo "e2e HEIF formats and colour profiles: passed" || echo "e2e HEIF formats and colour profiles: $failures failures"
exit "$failures"
