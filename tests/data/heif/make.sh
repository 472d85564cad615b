#!/usr/bin/env bash
# Makes the HEIF and AVIF test pictures of this folder with Debian's own tools, and the
# references the tests compare with: each picture decoded by heif-convert, as 8-bit
# RGBA in PAM form (ImageMagick). Run it again only to change the set; its output is committed.
#   make.sh   (needs imagemagick, libheif-examples, libavif-bin)
# overlay-huge-canvas.heic and grid-huge-canvas.heic are kept, not made here: the fuzz campaign
# made them from heic-8.heic and iphone-like.heic, an overlay ('iovl') and a grid whose canvases
# libheif would allocate at 2 GB while the pictures say 64 x 64. grid-huge-canvas-two-meta.heic
# is the grid with an empty 'meta' box put in front of the real one (at the end of this file).
# alpha-cycle.heic, also kept, is the fuzz slice's: its alpha plane is a grid whose only tile
# is the picture it belongs to.
set -euo pipefail
cd "$(dirname "$0")"
# 64 x 48: four quadrants and a soft diagonal, so that any turn or mirror shows.
convert -size 64x48 xc:none \
  -fill '#d02020' -draw 'rectangle 0,0 31,23' -fill '#20b040' -draw 'rectangle 32,0 63,23' \
  -fill '#2040d0' -draw 'rectangle 0,24 31,47' -fill '#f0e020' -draw 'rectangle 32,24 63,47' \
  -blur 0x6 -alpha off -depth 8 src.png
convert src.png \( -size 64x48 gradient:white-'#00000080' \) -alpha off -compose CopyOpacity \
  -composite -depth 8 PNG32:src-alpha.png
heif-enc -q 80 src.png -o heic-8.heic >/dev/null
heif-enc -q 80 src-alpha.png -o heic-alpha.heic >/dev/null
avifenc --min 10 --max 20 -d 8 -y 420 src.png avif-8-420.avif >/dev/null
avifenc --min 10 --max 20 -d 10 -y 444 src-alpha.png avif-10-444-alpha.avif >/dev/null
avifenc --min 10 --max 20 -d 12 -y 422 src.png avif-12-422.avif >/dev/null
avifenc --min 10 --max 20 -d 8 -y 400 src.png avif-8-mono.avif >/dev/null
avifenc --min 10 --max 20 -d 8 -y 422 src.png avif-8-422.avif >/dev/null
avifenc --min 10 --max 20 -d 8 -y 420 -r limited src.png avif-8-420-limited.avif >/dev/null
# Display P3 named by its nclx box (primaries 12, sRGB's curve), as Android phones write AVIF.
avifenc --min 0 --max 0 -d 8 -y 444 --cicp 12/13/6 src.png avif-p3-nclx.avif >/dev/null
# As an iPhone writes a photo: a 2 x 2 grid of 64 x 64 HEVC tiles cropped to 128 x 112, turned
# a quarter anticlockwise (irot 1: upright it is 112 x 128), with a Display P3 profile
# (make_grid.py, make_p3.py). The source is red, green, blue and yellow from the top left.
convert -size 128x128 xc:none \
  -fill '#d02020' -draw 'rectangle 0,0 63,55' -fill '#20b040' -draw 'rectangle 64,0 127,55' \
  -fill '#2040d0' -draw 'rectangle 0,56 63,111' -fill '#f0e020' -draw 'rectangle 64,56 127,127' \
  -fill '#2040d0' -draw 'rectangle 0,112 63,127' -blur 0x3 -alpha off -depth 8 grid-src.png
convert grid-src.png -crop 64x64 +repage -depth 8 PNG24:grid-tile-%d.png
for i in 0 1 2 3; do heif-enc -q 85 "grid-tile-$i.png" -o "grid-tile-$i.heic" >/dev/null; done
python3 make_p3.py display-p3.icc
python3 make_grid.py iphone-like.heic 128 112 1 display-p3.icc grid-tile-0.heic grid-tile-1.heic \
  grid-tile-2.heic grid-tile-3.heic
rm -f grid-src.png grid-tile-*.png grid-tile-*.heic
# Broken ones: the first half of a picture, and one whose item boxes are overwritten.
head -c "$(($(stat -c %s heic-8.heic) / 2))" heic-8.heic >truncated.heic
cp heic-8.heic corrupt.heic
printf '%*s' 80 '' | tr ' ' '\377' | dd of=corrupt.heic bs=1 seek=120 conv=notrunc 2>/dev/null
for f in heic-8 heic-alpha iphone-like; do
  heif-convert "$f.heic" "$f.ref.png" >/dev/null
done
# AVIF through heif-convert too: avifdec upsamples 4:2:0 and 4:2:2 chroma bilinearly where
# libheif repeats it, up to 13 apart at the quadrants' edges; 4:4:4 and monochrome agree.
for f in avif-8-420 avif-10-444-alpha avif-12-422 avif-8-mono avif-8-422 avif-8-420-limited; do
  heif-convert "$f.avif" "$f.ref.png" >/dev/null
done
for f in *.ref.png; do
  convert "$f" -depth 8 -alpha on "${f%.png}.pam"
  rm "$f"
done
# Transformations and alpha as cameras and phones write them, lossless 4:4:4 so that avifdec
# agrees with libheif to a step: a mirror top to bottom (imir 0) and left to right (imir 1) at
# 10 bits, a 41 x 31 crop at (3, 5) (clap of odd size at half-pixel offsets), irot beside an
# Exif orientation of 6 (the box counts, the Exif is not applied again), and alpha stored
# premultiplied. avifdec leaves the transformations to its caller: ImageMagick applies them to
# its decoding. The 10-bit references keep avifdec's 16 bits, so that rounding can be told from
# cutting.
python3 -c 'import struct,sys; sys.stdout.buffer.write(b"MM\0*" + struct.pack(">IHHHIHHI", 8, 1, 0x112, 3, 1, 6, 0, 0))' >exif-6.bin
lossless=(--min 0 --max 0 -y 444)
avifenc "${lossless[@]}" -d 10 --imir 0 src.png avif-10-imir0.avif >/dev/null 2>&1
avifenc "${lossless[@]}" -d 10 --imir 1 src.png avif-10-imir1.avif >/dev/null 2>&1
avifenc "${lossless[@]}" -d 8 --crop 3,5,41,31 src.png avif-8-clap.avif >/dev/null 2>&1
avifenc "${lossless[@]}" -d 8 --irot 1 --exif exif-6.bin src.png avif-8-irot-exif.avif >/dev/null 2>&1
avifenc "${lossless[@]}" -d 8 --premultiply src-alpha.png avif-8-premultiplied.avif >/dev/null 2>&1
for t in "avif-10-imir0:-flip" "avif-10-imir1:-flop" "avif-8-clap:-crop 41x31+3+5 +repage" \
  "avif-8-irot-exif:-rotate -90" "avif-8-premultiplied:"; do
  f=${t%%:*}
  avifdec -d 16 "$f.avif" "$f.dec.png" >/dev/null
  # shellcheck disable=SC2086
  convert "$f.dec.png" ${t#*:} -alpha on "$f.ref.pam"
  rm "$f.dec.png"
done
for f in avif-8-clap avif-8-irot-exif avif-8-premultiplied; do
  convert "$f.ref.pam" -depth 8 "$f.ref.pam"
done
# Alpha beside a Display P3 profile: the left quarter fully transparent, a half-transparent band
# beside it; the transparent part must come out exactly the desktop's colour once converted.
convert src.png \( -size 64x48 xc:white -fill black -draw 'rectangle 0,0 15,47' \
  -fill gray50 -draw 'rectangle 16,0 23,47' \) -alpha off -compose CopyOpacity -composite \
  -depth 8 PNG32:src-hole.png
avifenc "${lossless[@]}" -d 8 --icc display-p3.icc src-hole.png avif-8-alpha-p3.avif >/dev/null 2>&1
avifdec -d 8 --ignore-icc avif-8-alpha-p3.avif alpha-p3.dec.png >/dev/null
convert alpha-p3.dec.png -depth 8 -alpha on avif-8-alpha-p3.ref.pam
rm -f src-hole.png alpha-p3.dec.png
rm -f src.png src-alpha.png exif-6.bin
python3 - <<'PY'
import struct
data = open("grid-huge-canvas.heic", "rb").read()
ftyp = struct.unpack(">I", data[:4])[0]
empty_meta = struct.pack(">I4sI", 12, b"meta", 0)
open("grid-huge-canvas-two-meta.heic", "wb").write(data[:ftyp] + empty_meta + data[ftyp:])
PY
