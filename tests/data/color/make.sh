#!/usr/bin/env bash
# Makes the colour-managed test pictures of this folder and the references the tests compare
# with. The pictures are ImageMagick's built-in photos (rose:, wizard:) with a profile embedded
# as a camera or phone would; each reference is ImageMagick's own conversion of the file to
# sRGB (-profile, over Little CMS). Run it again only to change the set; its output is committed.
#   make.sh   (needs imagemagick and colord-data; the profiles are colord's, CC0)
set -euo pipefail
cd "$(dirname "$0")"
for p in AdobeRGB1998 sRGB ProPhotoRGB; do cp "/usr/share/color/icc/colord/$p.icc" .; done
# A first -profile on a picture without one embeds it, as is.
convert rose: -profile AdobeRGB1998.icc -quality 95 rose-adobergb.jpg
convert wizard: -resize 50% -alpha off -profile ../heif/display-p3.icc -quality 92 wizard-p3.jpg
convert rose: -profile sRGB.icc -quality 95 rose-srgb.jpg
convert rose: -quality 95 rose.jpg
convert rose: -profile ProPhotoRGB.icc rose-prophoto.png
for f in rose-adobergb.jpg wizard-p3.jpg rose-prophoto.png; do
  convert "$f" -profile sRGB.icc -depth 8 "${f%.*}.ref.ppm"
done
# WebP with the profile in its ICCP chunk.
convert rose: rose-src.png
cwebp -quiet -q 90 rose-src.png -o rose-src.webp
webpmux -set icc AdobeRGB1998.icc rose-src.webp -o rose-adobergb.webp
rm -f rose-src.png rose-src.webp
# With alpha too: ../webp/alpha.webp (its reference is ../webp/alpha.pam) given the same profile.
webpmux -set icc AdobeRGB1998.icc ../webp/alpha.webp -o alpha-adobergb.webp
# A table-based profile: Display P3 sampled into a 17-point grid (A2B0 to Lab), as printer- and
# scanner-calibrated profiles are made; make_lut.c writes it with Little CMS.
gcc -O2 make_lut.c -o make_lut -llcms2
./make_lut ../heif/display-p3.icc p3-lut.icc
rm -f make_lut
