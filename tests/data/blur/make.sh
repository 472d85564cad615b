#!/bin/sh
# Makes reference.ppm: the blurred background of the fit tests, made by ImageMagick from the same
# small copy of the picture (reduced.ppm, which the test checks is still the program's copy), as
# an independent check of the blur. Three box passes of radius 1 each way with the edges
# extended, an enlargement to 320 x 180 with pixel centres aligned (the triangle filter), 0.8 of
# the light.
set -eu
cd "$(dirname "$0")"
convert reduced.ppm -virtual-pixel edge -define convolve:scale='!' \
  -morphology Convolve:3 'Rectangle:3x1' -morphology Convolve:3 'Rectangle:1x3' \
  -filter Triangle -resize '320x180!' -evaluate multiply 0.8 -depth 8 reference.ppm
