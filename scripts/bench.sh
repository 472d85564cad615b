#!/usr/bin/env bash
# Runs the benchmarks under Wine and prints their reports. The big folder is made on the host
# side (creating 100,000 files through Wine takes many minutes) and kept under build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
count=${BENCH_FILES:-100000}
folder=$build/bench-data/files-$count
if [ ! -f "$folder/.count-$count" ]; then
  echo "making $count files in $folder"
  mkdir -p "$folder"
  python3 - "$folder" "$count" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
ext = [".jpg", ".jpg", ".JPG", ".bmp", ".png", ".txt", ".jpeg", ".jpg", ".ico", ".lnk"]
for i in range(count):
    open(os.path.join(folder, "img%06d%s" % (i, ext[i % 10])), "wb").close()
open(os.path.join(folder, ".count-%d" % count), "wb").close()
PY
fi
# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
echo "== list building, $count files"
VESKO_TIMEOUT=1800 "$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" \
  "$build/win/list_bench.exe" "$count" "$(winepath -w "$folder" 2>/dev/null)"

echo "== loading a 6000 x 4000 24-bit BMP (native, then under Wine)"
(cd "$build/native" && ./bench/bmp_load_bench)
(cd "$build/win" && "$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" bmp_load_bench.exe)

echo "== decoding a 24-megapixel PNG: the WIC plug-in alone, then through the host"
(cd "$build/win" && "$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" spi_bench.exe \
  "$(winepath -w "$build/win" 2>/dev/null)")

echo "== plug-ins in the helper process against the program's own: a 24-megapixel PNG, 200 small pictures, the first start"
(cd "$build/win" && "$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" helper_bench.exe \
  "$(winepath -w "$build/win" 2>/dev/null)" "$(winepath -w "$build/win/fixture-spi" 2>/dev/null)")

echo "== decoding a 24-megapixel JPEG: ours against djpeg, then the Windows build under Wine"
jpeg=$build/bench-data/jpeg-bench.jpg
mkdir -p "$build/bench-data"
native=$("$build/native/bench/jpeg_bench" "$jpeg" "$(command -v djpeg)")
echo "$native"
# Wine's console ends its lines with CR LF: without the CR stripped no figure was found and the
# ratio came out as 0.00.
wine_out=$("$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" "$build/win/jpeg_bench.exe" \
  "$(winepath -w "$jpeg" 2>/dev/null)" | tr -d '\r')
echo "under Wine: $wine_out"
awk -v a="$(echo "$wine_out" | sed -n 's/^TJPEGImage.*: \([0-9.]*\) s$/\1/p' | head -1)" \
    -v b="$(echo "$native" | sed -n 's/^TJPEGImage.*: \([0-9.]*\) s$/\1/p')" \
    'BEGIN {
       if (a > 0 && b > 0) printf "Wine (i686) / native (x86-64) ratio=%.2f (target: at most 1.35)\n", a / b
       else print "Wine (i686) / native (x86-64) ratio: not measured (no time found in the output above)"
     }'

echo "== decoding a 24-megapixel WebP: ifwebp.spi through the host under Wine against dwebp"
# cwebp makes it once from the JPEG above; dwebp's own decoding time is taken, medians of 5.
webp=$build/bench-data/webp-bench.webp
[ -f "$webp" ] || cwebp -quiet -q 80 "$jpeg" -o "$webp"
dwebp_times=()
for _ in 1 2 3 4 5; do
  dwebp_times+=("$(dwebp -v "$webp" -ppm -o /dev/null 2>&1 | sed -n 's/^Time to decode picture: \([0-9.]*\)s$/\1/p')")
done
webp_out=$("$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" "$build/win/plugin_bench.exe" \
  "$(winepath -w "$build/win" 2>/dev/null)" "$(winepath -w "$webp" 2>/dev/null)" 5 | tr -d '\r')
echo "$webp_out"
awk -v a="$(echo "$webp_out" | sed -n 's/^ifwebp.spi.*: \([0-9.]*\) s$/\1/p')" \
    -v b="$(printf '%s\n' "${dwebp_times[@]}" | sort -g | sed -n 3p)" \
    'BEGIN {
       if (a > 0 && b > 0) printf "dwebp %.4f s; ifwebp.spi / dwebp ratio=%.2f (target: at most 1.2)\n", b, a / b
       else print "ifwebp.spi / dwebp ratio: not measured (no time found in the output above)"
     }'

echo "== HEIC and AVIF as a change meets them: ifheif.spi in the helper process under Wine (decoded,"
echo "   turned to RGB, its pixels copied to the program) against heif-convert and avifdec natively"
echo "   (their decoding into a YUV file, without RGB: a lower bound); medians of 3"
# heif-enc and avifenc make them once from the JPEG above; the grid is an iPhone-like 12-megapixel
# photo of 48 tiles of 512 x 512 (tests/data/heif/make_grid.py).
heic=$build/bench-data/heif-bench.heic
grid=$build/bench-data/heif-bench-grid.heic
avif=$build/bench-data/heif-bench.avif
[ -f "$heic" ] || heif-enc -q 80 "$jpeg" -o "$heic" >/dev/null
[ -f "$avif" ] || avifenc -s 8 --min 20 --max 30 "$jpeg" "$avif" >/dev/null
if [ ! -f "$grid" ]; then
  tiles=$(mktemp -d)
  convert "$jpeg" -resize '4096x3072!' -crop 512x512 +repage "$tiles/t-%02d.png"
  for t in "$tiles"/t-*.png; do heif-enc -q 80 "$t" -o "${t%.png}.heic" >/dev/null; done
  GRID_COLUMNS=8 GRID_TILE=512 python3 "$root/tests/data/heif/make_grid.py" "$grid" 4032 3024 0 \
    "$root/tests/data/heif/display-p3.icc" "$tiles"/t-*.heic
  rm -rf "$tiles"
fi
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
for case in "HEIC, 24 megapixels:$heic:heif-convert" "HEIC grid, 12 megapixels:$grid:heif-convert" \
  "AVIF, 24 megapixels:$avif:avifdec"; do
  IFS=: read -r name file tool <<<"$case"
  times=()
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$tool" "$file" "$build/bench-data/heif-bench-out.y4m" >/dev/null 2>&1
    times+=("$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')")
  done
  rm -f "$build/bench-data/heif-bench-out.y4m"
  out=$(cd "$build/win" && "$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" helper_bench.exe \
    "$(winepath -w "$build/win" 2>/dev/null)" --picture "$(winepath -w "$file" 2>/dev/null)" 3 | tr -d '\r')
  echo "$out" | grep "of which" || true
  awk -v a="$(echo "$out" | sed -n 's/^ifheif.spi in the helper: \([0-9.]*\) s$/\1/p')" \
    -v b="$(median3 "${times[@]}")" -v tool="$tool" -v name="$name" 'BEGIN {
       if (a > 0 && b > 0) printf "%s: ifheif.spi in the helper %.3f s, %s %.3f s, ratio=%.2f (target: at most 1.3)\n", name, a, tool, b, a / b
       else print name ": ifheif.spi / " tool " ratio: not measured"
     }'
done

echo "== decoding a 24-megapixel RGB PNG: TPngGraphic against libpng in the same run"
"$build/native/bench/png_bench" "$build/bench-data/png-bench.png"

echo "== a whole change by the quality path (decode, shrink to 1920 x 1080, write a BMP): Wine / native"
# Native and Wine runs alternate over several rounds and the medians are compared, so that a
# noisy neighbour on the machine weighs on both sides alike.
wjpeg=$(winepath -w "$jpeg" 2>/dev/null)
wout=$(winepath -w "$build/bench-data/change-win.bmp" 2>/dev/null)
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
for threads in 1 2; do
  here=() there=()
  for _ in 1 2 3 4 5; do
    here+=("$("$build/native/bench/change_bench" "$jpeg" "$build/bench-data/change.bmp" 1920 1080 "$threads")")
    there+=("$("$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" "$build/win/change_bench.exe" \
      "$wjpeg" "$wout" 1920 1080 "$threads" | tr -d '\r')")
  done
  awk -v a="$(median "${there[@]}")" -v b="$(median "${here[@]}")" -v t="$threads" \
    'BEGIN { printf "%d thread(s): native %.3f s, Wine %.3f s, ratio=%.2f (medians of 5 rounds; target: at most 1.35)\n", t, b, a, a / b }'
done
cmp "$build/bench-data/change.bmp" "$build/bench-data/change-win.bmp" && echo "same bytes natively and under Wine"

echo "== a change of a photo with a colour profile (Adobe RGB) against the same photo without one"
# The profile goes in as an APP2 segment after the start of the same file, so the compressed
# picture is byte for byte the same: the difference is reading the profile and converting.
python3 -c '
import struct, sys
jpeg, icc = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
segment = b"ICC_PROFILE\0\1\1" + icc
head = b"\xff\xe2" + struct.pack(">H", len(segment) + 2)
open(sys.argv[3], "wb").write(jpeg[:2] + head + segment + jpeg[2:])
' "$jpeg" "$root/tests/data/color/AdobeRGB1998.icc" "$build/bench-data/change-icc.jpg"
wicc=$(winepath -w "$build/bench-data/change-icc.jpg" 2>/dev/null)
plain=() profiled=()
for _ in 1 2 3 4 5; do
  plain+=("$("$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" "$build/win/change_bench.exe" \
    "$wjpeg" "$wout" 1920 1080 2 | tr -d '\r')")
  profiled+=("$("$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" "$build/win/change_bench.exe" \
    "$wicc" "$wout" 1920 1080 2 | tr -d '\r')")
done
awk -v a="$(median "${profiled[@]}")" -v b="$(median "${plain[@]}")" \
  'BEGIN { printf "Wine, 2 threads: without %.3f s, with %.3f s, ratio=%.3f (medians of 5 rounds; target: at most 1.03)\n", b, a, a / b }'

echo "== fit with the blurred picture beside it against fit with the desktop's colour"
flat=() blurred=()
for _ in 1 2 3 4 5; do
  flat+=("$("$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" "$build/win/change_bench.exe" \
    "$wjpeg" "$wout" 1920 1080 2 1 fit | tr -d '\r')")
  blurred+=("$("$root/scripts/wine-session.sh" "$root/scripts/wine-run.sh" "$build/win/change_bench.exe" \
    "$wjpeg" "$wout" 1920 1080 2 1 blur | tr -d '\r')")
done
awk -v a="$(median "${blurred[@]}")" -v b="$(median "${flat[@]}")" \
  'BEGIN { printf "Wine, 2 threads: flat %.3f s, blurred %.3f s, ratio=%.3f (medians of 5 rounds; target: at most 1.10)\n", b, a, a / b }'

echo "== a change with a picture per monitor: two made-up monitors against one, a 24-megapixel JPEG each"
"$build/native/bench/monitor_bench" "$jpeg" "$build/bench-data/monitors.bmp"

echo "== private memory after a change has settled, beyond a bare Win32 program (stripped builds)"
# The program needs a display of its own; a run that prints no figure fails the bench.
for load in "ReSize=0" "ReSize=1" "FitMode=1"; do
  figure=$(cd "$build/win" && VESKO2_MEMORY_LOAD="$load" VESKO2_STRIPPED="$build/win/stripped" \
    VESKO2_EXE="$build/win/Vesko2.exe" xvfb-run -a -s '-screen 0 1280x800x24' \
    "$root/scripts/wine-session.sh" timeout 300 "$root/scripts/wine-run.sh" \
    tests/win/instance_tests.exe -s -tc="*settles*" | tr -d '\r' | grep "private memory" || true)
  [ -n "$figure" ] || { echo "FAIL: no memory figure with $load"; exit 1; }
  echo "$figure"
done

echo "== a whole change by the quality path beside vipsthumbnail, Pillow and ImageMagick"
"$root/bench/peers.sh" "$build/native"
