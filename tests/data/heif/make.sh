#!/usr/bin/env bash
# Makes the HEIF and AVIF test pictures of this folder with Debian's own tools, and the
# references the tests compare with: each picture decoded by heif-convert, as 8-bit
# RGBA in PAM form (ImageMagick). Run it again only to change the set; its output is committed.
#   make.sh   (needs imagemagick, libheif-examples, libavif-bin)
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
# Broken ones: the first half of a picture, and one whose item boxes are overwritten.
head -c "$(($(stat -c %s heic-8.heic) / 2))" heic-8.heic >truncated.heic
cp heic-8.heic corrupt.heic
printf '%*s' 80 '' | tr ' ' '\377' | dd of=corrupt.heic bs=1 seek=120 conv=notrunc 2>/dev/null
for f in heic-8 heic-alpha; do
  heif-convert "$f.heic" "$f.ref.png" >/dev/null
done
# AVIF through heif-convert too: avifdec upsamples 4:2:0 and 4:2:2 chroma bilinearly where
# libheif repeats it, up to 13 apart at the quadrants' edges; 4:4:4 and monochrome agree.
for f in avif-8-420 avif-10-444-alpha avif-12-422 avif-8-mono; do
  heif-convert "$f.avif" "$f.ref.png" >/dev/null
done
for f in *.ref.png; do
  convert "$f" -depth 8 -alpha on "${f%.png}.pam"
  rm "$f"
done
rm -f src.png src-alpha.png
