#!/usr/bin/env bash
# Makes what users download: Vesko2-<version>.zip holding one folder Vesko2/ with the
# program, our four plug-ins (with the two libraries of the HEIF one) and our archiver library (copies from the Windows build without
# their debug information), the licence, the third-party notices and the user guide in Japanese
# (dist/Vesko2.txt turned into Shift_JIS with CRLF line ends, as Japanese Windows expects);
# Vesko2-<version>-setup.exe, the installer of the same files (dist/installer.nsi); and the
# sources zip of the libraries built into them.
#   scripts/dist.sh [windows build folder] [output folder]
# Defaults: build/win and build/dist. The path of the zip is printed last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
win=$(realpath -m "${1:-$build/win}")
out=$(realpath -m "${2:-$build/dist}")

say() { printf '[dist] %s\n' "$*" >&2; }
die() {
  printf '[dist] error: %s\n' "$*" >&2
  exit 1
}

# Where the licence texts of the statically linked libraries are found.
jpeg_doc=$build/deps/mingw-jpeg/share/doc/libjpeg-turbo
zlib_copyright=/usr/share/doc/libz-mingw-w64/copyright
mingw_copyright=/usr/share/doc/mingw-w64-common/copyright
webp_doc=$build/deps/mingw-webp/share/doc/libwebp
heif_doc=$build/deps/mingw-heif/share/doc
lcms_doc=$build/deps/mingw-lcms2/share/doc/lcms2
gpl3=/usr/share/common-licenses/GPL-3

pinned() { awk -v p="$1" '$1 == p { print $2 }' "$root/scripts/deps/sources.pin"; }
heif_version=$(pinned libheif)
de265_version=$(pinned libde265)

version=$(sed -n 's/^project(Vesko2 VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || die "no version on the project() line of CMakeLists.txt"
command -v zip >/dev/null || die "zip is missing (scripts/setup.sh installs it)"
command -v makensis >/dev/null || die "makensis is missing (scripts/setup.sh installs Debian's nsis)"
binaries=(Vesko2.exe ifpng.spi ifwebp.spi ifwic.spi ifheif.spi libheif.dll libde265.dll UNZIP32.DLL)
for file in "${binaries[@]}"; do
  [ -f "$win/$file" ] || die "$win/$file is missing (make win builds it)"
done
for file in "$jpeg_doc/LICENSE.md" "$jpeg_doc/README.ijg" "$zlib_copyright" "$mingw_copyright" \
  "$webp_doc/COPYING" "$webp_doc/PATENTS" "$lcms_doc/COPYING" "$heif_doc/libheif/COPYING" \
  "$heif_doc/libde265/COPYING" "$heif_doc/dav1d/COPYING" "$gpl3"; do
  [ -f "$file" ] || die "$file is missing (scripts/setup.sh puts it there)"
done

# LF or CRLF in, CRLF out.
crlf() { sed 's/\r$//; s/$/\r/'; }

# The text of a stand-alone "License: NAME" paragraph of a Debian copyright file, unfolded as
# the format says: the one leading space goes, and a line holding only "." is an empty line.
dep5_license() {
  awk -v name="$2" '
    inside && /^[ \t]/ { line = substr($0, 2); if (line == ".") line = ""; print line; found = 1; next }
    inside { inside = 0; if (found) exit }
    $0 == "License: " name { inside = 1 }
  ' "$1"
}

# The "Copyright:" field of the paragraph for one "Files:" pattern, with its continuation lines.
dep5_copyright() {
  awk -v files="$2" '
    copyright && /^[ \t]/ { print; next }
    copyright { exit }
    $0 == "Files: " files { inside = 1; next }
    inside && /^Copyright:/ { copyright = 1; print; next }
    /^$/ { inside = 0 }
  ' "$1"
}

third_party() {
  local zlib zlib_holders expat pthreads_holders
  zlib=$(dep5_license "$zlib_copyright" Zlib)
  zlib_holders=$(dep5_copyright "$zlib_copyright" '*')
  expat=$(dep5_license "$mingw_copyright" expat)
  pthreads_holders=$(dep5_copyright "$mingw_copyright" 'mingw-w64-libraries/winpthreads/*')
  if [ -z "$zlib" ] || [ -z "$zlib_holders" ] || [ -z "$expat" ] || [ -z "$pthreads_holders" ]; then
    die "a licence text was not found in the Debian copyright files"
  fi
  cat <<EOF
Vesko 2 $version - third-party notices

The files of Vesko 2 contain code of the libraries below, linked in statically:

  libjpeg-turbo  JPEG decoding                       Vesko2.exe
  libwebp        WebP decoding                       ifwebp.spi
  Little CMS     colour profiles                     Vesko2.exe, ifheif.spi
  dav1d          AV1 decoding (AVIF)                 libheif.dll
  zlib           PNG and ZIP decompression           Vesko2.exe, ifpng.spi, UNZIP32.DLL
  winpthreads    threads of the C++ runtime          Vesko2.exe, ifpng.spi, ifwebp.spi,
                 (part of mingw-w64)                 ifwic.spi, ifheif.spi, libheif.dll,
                                                     libde265.dll, UNZIP32.DLL

and, as libraries of their own that ifheif.spi loads (GNU LGPL version 3):

  libheif.dll    HEIF and AVIF reading               libheif ${heif_version%-*}
  libde265.dll   HEVC decoding (HEIC)                libde265 ${de265_version%-*}

Both are built from Debian's source packages libheif $heif_version and libde265 $de265_version,
with Debian's patches and, for libde265, one of ours (its Windows locks made slim; the patch
says why). Those exact sources, with our patch, are in Vesko2-$version-sources.zip beside
Vesko2-$version.zip where you downloaded it, and in Debian's archive. You may replace either
DLL with a build of your own of a compatible version: ifheif.spi loads them from its own
folder by their names.

Their licence texts follow, each as the library or its Debian package gives it.

This software is based in part on the work of the Independent JPEG Group.


==============================================================================
libjpeg-turbo: LICENSE.md
==============================================================================

EOF
  cat "$jpeg_doc/LICENSE.md"
  cat <<EOF


==============================================================================
libjpeg-turbo: README.ijg (the IJG License is in its LEGAL ISSUES section)
==============================================================================

EOF
  cat "$jpeg_doc/README.ijg"
  cat <<EOF


==============================================================================
libwebp: COPYING and PATENTS (from Debian's source package of libwebp)
==============================================================================

EOF
  cat "$webp_doc/COPYING"
  echo
  cat "$webp_doc/PATENTS"
  cat <<EOF


==============================================================================
Little CMS: COPYING (from Debian's source package of lcms2)
==============================================================================

EOF
  cat "$lcms_doc/COPYING"
  cat <<EOF


==============================================================================
libheif: COPYING (GNU LGPL version 3; from Debian's source package of libheif)
==============================================================================

EOF
  cat "$heif_doc/libheif/COPYING"
  cat <<EOF


==============================================================================
libde265: COPYING (GNU LGPL version 3; from Debian's source package of libde265)
==============================================================================

EOF
  cat "$heif_doc/libde265/COPYING"
  cat <<EOF


==============================================================================
The GNU General Public License version 3, which the LGPL above supplements
==============================================================================

EOF
  cat "$gpl3"
  cat <<EOF


==============================================================================
dav1d: COPYING (BSD 2-Clause; from Debian's source package of dav1d)
==============================================================================

EOF
  cat "$heif_doc/dav1d/COPYING"
  cat <<EOF


==============================================================================
zlib (the zlib License, from the Debian package libz-mingw-w64)
==============================================================================

$zlib_holders

$zlib


==============================================================================
winpthreads of mingw-w64 (the Expat License, from the Debian package
mingw-w64-common)
==============================================================================

$pthreads_holders

$expat
EOF
}

zipfile=$out/Vesko2-$version.zip
mkdir -p "$out"
rm -f "$zipfile"
stage=$(mktemp -d "$out/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
folder=$stage/Vesko2
mkdir -p "$folder"

strip_tool=$(command -v i686-w64-mingw32-strip || true)
[ -n "$strip_tool" ] || say "i686-w64-mingw32-strip not found: the files keep their debug information"
for file in "${binaries[@]}"; do
  cp "$win/$file" "$folder/$file"
  # The program knows the plug-ins it runs in its own process by their SHA-256: they are built
  # stripped and ship byte for byte as built.
  case $file in ifpng.spi | ifwebp.spi) continue ;; esac
  # Symbols and debug sections go; a DLL's exports live in its export table and stay.
  [ -z "$strip_tool" ] || "$strip_tool" --strip-all "$folder/$file"
done

crlf <"$root/LICENSE" >"$folder/LICENSE.txt"
# UTF-8 with a byte-order mark: the licence texts hold characters Shift_JIS lacks, and Notepad
# reads such a file right on every Windows version.
{
  printf '\xef\xbb\xbf'
  third_party | crlf
} >"$folder/THIRD-PARTY.txt"
# The guide: Shift_JIS (code page 932) and CRLF; a character the code page lacks stops the build.
# Its title and history name the version: one that does not is out of date.
if ! grep -q "バージョン $version\$" "$root/dist/Vesko2.txt" ||
  ! grep -q "^  $version " "$root/dist/Vesko2.txt"; then
  die "dist/Vesko2.txt does not name version $version in its title and its history"
fi
if ! crlf <"$root/dist/Vesko2.txt" | iconv -f UTF-8 -t CP932 >"$folder/Vesko2.txt"; then
  die "dist/Vesko2.txt does not convert to Shift_JIS (CP932)"
fi

# The same date on every entry: the last commit's, else now.
stamp=$(git -C "$root" log -1 --format=%cd --date=format:%Y%m%d%H%M.%S 2>/dev/null || true)
[ -n "$stamp" ] || stamp=$(date +%Y%m%d%H%M.%S)
find "$stage" -exec touch -t "$stamp" {} +
(cd "$stage" && TZ=UTC zip -q -X -r -9 "$zipfile" Vesko2)
say "$(du -k "$zipfile" | cut -f1) KB: $zipfile"

# The installer, from the same staged files (dist/installer.nsi says what it does).
setup=$out/Vesko2-$version-setup.exe
rm -f "$setup"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSOURCE="$folder" -DOUTFILE="$setup" \
  -DICON="$root/app/res/Vesko2.ico" "$root/dist/installer.nsi" >"$stage/makensis.log" 2>&1 ||
  die "makensis could not make the installer: $(tail -n 5 "$stage/makensis.log")"
touch -t "$stamp" "$setup"
say "$(du -k "$setup" | cut -f1) KB: $setup"

# The exact sources of every library built into the release: each pinned Debian source
# package as fetched (.dsc, upstream and Debian tarballs), our patches, and the pin list.
sources_zip=$out/Vesko2-$version-sources.zip
rm -f "$sources_zip"
src_stage=$stage/Vesko2-$version-sources
mkdir -p "$src_stage/patches"
while read -r package pin_version _; do
  case $package in '#'* | '') continue ;; esac
  dsc=$build/deps/sources/${package}_${pin_version#*:}.dsc
  [ -f "$dsc" ] || die "$dsc is missing (scripts/setup.sh fetches it)"
  cp "$dsc" "$src_stage/"
  while read -r _ _ name; do
    cp "$build/deps/sources/$name" "$src_stage/" || die "$name of $package is missing"
  done < <(sed -n '/^Checksums-Sha256:/,/^[^ ]/{/^ /p}' "$dsc")
done <"$root/scripts/deps/sources.pin"
cp "$root/scripts/deps/sources.pin" "$src_stage/"
cp -r "$root/scripts/deps/patches/." "$src_stage/patches/"
find "$src_stage" -exec touch -t "$stamp" {} +
(cd "$stage" && TZ=UTC zip -q -X -r -0 "$sources_zip" "$(basename "$src_stage")")
say "$(du -k "$sources_zip" | cut -f1) KB: $sources_zip"
echo "$zipfile"
