# Sourced by the fuzz scripts: the largest input each target is given. Real files need room:
# several IDAT chunks and interlaced passes of a PNG, progressive scans and restart intervals of
# a JPEG, a ZIP whose central directory follows large members, RLE BMPs of real size, WebP
# animations of several frames. The hand-over payload is 256 bytes.
# shellcheck shell=bash
fuzz_max_len() {
  case "$1" in
    png) echo 262144 ;;
    jpeg | zip | webp | heif) echo 131072 ;;
    handover) echo 4096 ;;
    *) echo 65536 ;;
  esac
}
