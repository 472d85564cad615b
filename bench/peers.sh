#!/usr/bin/env bash
# One wallpaper change by the quality path (decode a 24-megapixel JPEG, shrink it to fit
# 1920 x 1080, write a BMP) beside the tools a user would pick for the same job, in one run:
# djpeg decoding alone (the yardstick), vipsthumbnail, Pillow's box filter and ImageMagick's.
# The peers come from Debian packages and are installed here when missing.
#   bench/peers.sh [native build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=${1:-${VESKO_BUILD:-$root/build}/native}
data=$native/../bench-data
mkdir -p "$data"
sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

need=()
command -v vipsthumbnail >/dev/null || need+=(libvips-tools)
[ -x /usr/bin/convert ] || need+=(imagemagick)
/usr/bin/python3 -c 'import PIL' 2>/dev/null || need+=(python3-pil)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing ${need[*]}"
  sudo_ apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

jpeg=$data/jpeg-bench.jpg
[ -f "$jpeg" ] || "$native/bench/jpeg_bench" "$jpeg" >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Median wall time of five runs of a command, in seconds, process start included.
median() {
  python3 - "$@" <<'PY'
import subprocess, sys, time
times = []
for _ in range(5):
    start = time.perf_counter()
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    times.append(time.perf_counter() - start)
print("%.4f" % sorted(times)[2])
PY
}

cat >"$out/pillow.py" <<'PY'
import sys
from PIL import Image
im = Image.open(sys.argv[1])
scale = min(1920 / im.width, 1080 / im.height)
im.resize((int(im.width * scale), int(im.height * scale)), Image.BOX).save(sys.argv[2])
PY

djpeg_s=$(median djpeg -outfile /dev/null "$jpeg")
ours1=$("$native/bench/change_bench" "$jpeg" "$out/ours.bmp" 1920 1080 1)
ours2=$("$native/bench/change_bench" "$jpeg" "$out/ours.bmp" 1920 1080 2)
vips_s=$(median vipsthumbnail "$jpeg" --size 1920x1080 -o "$out/vips.ppm")
pillow_s=$(median /usr/bin/python3 "$out/pillow.py" "$jpeg" "$out/pillow.bmp")
magick_s=$(median /usr/bin/convert "$jpeg" -filter box -resize 1920x1080 "$out/magick.bmp")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%-44s %8s %8s\n' "6000 x 4000 JPEG to fit 1920 x 1080" seconds "x djpeg"
printf '%-44s %8.3f %8s\n' "djpeg, decoding only" "$djpeg_s" 1.00
printf '%-44s %8.3f %8s\n' "Vesko 2, one core" "$ours1" "$(ratio "$ours1" "$djpeg_s")"
printf '%-44s %8.3f %8s\n' "Vesko 2, two cores" "$ours2" "$(ratio "$ours2" "$djpeg_s")"
printf '%-44s %8.3f %8s\n' "vipsthumbnail (PPM)" "$vips_s" "$(ratio "$vips_s" "$djpeg_s")"
printf '%-44s %8.3f %8s\n' "Pillow, box filter" "$pillow_s" "$(ratio "$pillow_s" "$djpeg_s")"
printf '%-44s %8.3f %8s\n' "ImageMagick convert, box filter" "$magick_s" "$(ratio "$magick_s" "$djpeg_s")"
echo "vipsthumbnail / Vesko 2 (one core) = $(ratio "$vips_s" "$ours1") (target: at least 1.30)"
