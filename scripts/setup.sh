#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build, run and test Vesko 2.
# Idempotent: every step checks what is already there and skips it.
#   scripts/setup.sh            packages, locale, mingw libjpeg-turbo, libwebp, Little CMS and
#                               libheif (with libde265 and dav1d), Wine prefix
#   scripts/setup.sh --no-wine  everything but the Wine prefix
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
mkdir -p "$build"

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
say() { printf '[setup] %s\n' "$*"; }

packages=(
  wine wine32:i386 wine64 fonts-wine
  g++-mingw-w64-i686 libz-mingw-w64-dev
  xvfb xauth xdotool imagemagick x11-utils libx11-dev zip unzip nsis
  fonts-ipafont-gothic fonts-ipafont-mincho locales
  cmake make g++ nasm dpkg-dev pkg-config clang libclang-rt-14-dev
  python3 procps git
  doctest-dev zlib1g-dev libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev
  libwebp-dev webp
  meson ninja-build libheif-examples libavif-bin
  liblcms2-dev liblcms2-utils
)

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || echo "$p"
  done
}

install_packages() {
  local need
  need=$(missing_packages)
  [ -n "$need" ] || return 0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture"
    sudo_ dpkg --add-architecture i386
  fi
  say "installing packages"
  sudo_ apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -qq --no-install-recommends $(missing_packages) >/dev/null
}

setup_locale() {
  if locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then return; fi
  say "generating ja_JP.UTF-8"
  sudo_ sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
  sudo_ locale-gen >/dev/null
}

# Library builds come from the pinned Debian sources (scripts/deps/sources.pin), with Debian's
# patches and ours (scripts/deps/patches/<package>/, each saying why) applied. A build keeps a
# stamp of its pins, our patches and its own recipe, and is made again when any of them changes.
fetch=$root/scripts/deps/fetch-source.sh

unpack() {
  local package=$1 dest=$2 p
  "$fetch" "$package" "$dest"
  for p in "$root/scripts/deps/patches/$package"/*.patch; do
    [ -f "$p" ] || continue
    patch -d "$dest" -p1 -s --no-backup-if-mismatch <"$p" || {
      say "our patch $(basename "$p") does not apply to $package"
      exit 1
    }
  done
}

# The stamp of a build: the recipe function's text, and per package its pin and our patches.
stamp_of() {
  local recipe=$1 package
  shift
  declare -f "$recipe"
  for package in "$@"; do
    "$fetch" --stamp "$package"
    cat "$root/scripts/deps/patches/$package"/*.patch 2>/dev/null || true
  done
}

# True when the build in $1 was made from exactly the stamp in $2.
is_current() {
  [ -f "$1/.stamp" ] && [ "$(cat "$1/.stamp")" = "$2" ]
}

# libjpeg-turbo for mingw, static, with SIMD.
build_mingw_jpeg() {
  local prefix=$build/deps/mingw-jpeg stamp
  stamp=$(stamp_of build_mingw_jpeg libjpeg-turbo)
  is_current "$prefix" "$stamp" && return
  say "building libjpeg-turbo for mingw"
  local src=$build/deps/src-jpeg
  rm -rf "$src" "$prefix" && mkdir -p "$src"
  unpack libjpeg-turbo "$src/libjpeg-turbo"
  cmake -S "$src/libjpeg-turbo" -B "$src/build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON \
    -DCMAKE_SYSTEM_PROCESSOR=i686 >/dev/null
  cmake --build "$src/build" -j"$(nproc)" >/dev/null
  cmake --install "$src/build" >/dev/null
  echo "$stamp" >"$prefix/.stamp"
  rm -rf "$src"
}

# libwebp for mingw, static, with SIMD: the decoder and the demuxer (for the first frame of an
# animation) that ifwebp.spi links in; no tools, no encoder extras.
build_mingw_webp() {
  local prefix=$build/deps/mingw-webp stamp
  stamp=$(stamp_of build_mingw_webp libwebp)
  is_current "$prefix" "$stamp" && return
  say "building libwebp for mingw"
  local src=$build/deps/src-webp
  rm -rf "$src" "$prefix" && mkdir -p "$src"
  unpack libwebp "$src/libwebp"
  local dir=$src/libwebp
  cmake -S "$dir" -B "$src/build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DWEBP_ENABLE_SIMD=ON -DWEBP_USE_THREAD=ON \
    -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
    -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF \
    -DWEBP_BUILD_EXTRAS=OFF >/dev/null
  cmake --build "$src/build" -j"$(nproc)" >/dev/null
  cmake --install "$src/build" >/dev/null
  # The licence travels with the zip (scripts/dist.sh).
  mkdir -p "$prefix/share/doc/libwebp"
  cp "$dir/COPYING" "$dir/PATENTS" "$prefix/share/doc/libwebp/"
  echo "$stamp" >"$prefix/.stamp"
  rm -rf "$src"
}

# Little CMS for mingw, static: the library's C files compiled as they are (no tools, no
# plug-ins), for the program's colour conversion and ifheif.spi.
build_mingw_lcms2() {
  local prefix=$build/deps/mingw-lcms2 stamp
  stamp=$(stamp_of build_mingw_lcms2 lcms2)
  is_current "$prefix" "$stamp" && return
  say "building Little CMS for mingw"
  local src=$build/deps/src-lcms2
  rm -rf "$src" "$prefix" && mkdir -p "$src" "$prefix/lib" "$prefix/include" "$prefix/share/doc/lcms2"
  unpack lcms2 "$src/lcms2"
  local dir=$src/lcms2
  local c objects=()
  for c in "$dir"/src/*.c; do
    i686-w64-mingw32-gcc -O2 -march=pentium4 -mfpmath=sse -DNDEBUG -DHasTHREADS=1 \
      -I"$dir/include" -c "$c" -o "$src/$(basename "$c" .c).o"
    objects+=("$src/$(basename "$c" .c).o")
  done
  i686-w64-mingw32-ar rcs "$prefix/lib/liblcms2.a" "${objects[@]}"
  cp "$dir/include/lcms2.h" "$prefix/include/"
  # The licence travels with the zip (scripts/dist.sh).
  cp "$dir/LICENSE" "$prefix/share/doc/lcms2/COPYING"
  echo "$stamp" >"$prefix/.stamp"
  rm -rf "$src"
}

# libde265, dav1d and libheif from their pinned sources into $prefix, for the toolchain named by
# $1 (mingw: the DLLs that ship; native: what the native tests and fuzzers link, so that they
# exercise the same code). libheif and libde265 are LGPL: on Windows they are DLLs beside
# ifheif.spi, so that a user can put in builds of their own; dav1d (BSD) is linked into libheif.
# No plug-in loading, no encoders, no tools. SSE2 code generation (every Windows 10 machine has
# it) instead of the toolchain's x87 default; libde265's own SSE4.1 kernels are chosen at run time.
build_heif_libraries() {
  local kind=$1 prefix=$2 src=$3
  rm -rf "$src" "$prefix" && mkdir -p "$src"
  unpack libde265 "$src/libde265"
  unpack dav1d "$src/dav1d"
  unpack libheif "$src/libheif"
  local cmake_args=() meson_args=() flags lib de265_shared=ON
  if [ "$kind" = mingw ]; then
    local link="-static -static-libgcc -static-libstdc++ -Wl,--exclude-libs,ALL"
    flags="-march=pentium4 -mfpmath=sse"
    cmake_args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DBUILD_SHARED_LIBS=ON
      -DCMAKE_SHARED_LINKER_FLAGS="$link")
    meson_args=(--cross-file "$root/cmake/meson-mingw-i686.txt")
    lib=$prefix/lib/libde265.dll.a
  else
    flags=""
    cmake_args=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON)
    lib=$prefix/lib/libde265.a
    de265_shared=OFF
  fi
  cmake -S "$src/libde265" -B "$src/b-de265" -G Ninja "${cmake_args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DBUILD_SHARED_LIBS=$de265_shared \
    -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF >/dev/null
  cmake --build "$src/b-de265" -j"$(nproc)" >/dev/null
  cmake --install "$src/b-de265" >/dev/null
  meson setup "$src/b-dav1d" "$src/dav1d" "${meson_args[@]}" --libdir=lib \
    --prefix="$prefix" --buildtype=release --default-library=static -Denable_tools=false \
    -Denable_tests=false -Denable_examples=false -Db_staticpic=true \
    ${flags:+-Dc_args="$flags"} >/dev/null
  ninja -C "$src/b-dav1d" >/dev/null
  ninja -C "$src/b-dav1d" install >/dev/null
  cmake -S "$src/libheif" -B "$src/b-heif" -G Ninja "${cmake_args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DBUILD_SHARED_LIBS=ON \
    -DENABLE_PLUGIN_LOADING=OFF -DWITH_LIBDE265=ON -DWITH_DAV1D=ON -DWITH_X265=OFF \
    -DWITH_AOM_ENCODER=OFF -DWITH_AOM_DECODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF \
    -DWITH_OpenH264_DECODER=OFF -DWITH_KVAZAAR=OFF -DWITH_JPEG_DECODER=OFF -DWITH_JPEG_ENCODER=OFF \
    -DWITH_OpenJPEG_DECODER=OFF -DWITH_OpenJPEG_ENCODER=OFF -DWITH_FFMPEG_DECODER=OFF \
    -DWITH_OPENJPH_ENCODER=OFF -DWITH_UNCOMPRESSED_CODEC=OFF -DWITH_LIBSHARPYUV=OFF \
    -DWITH_EXAMPLES=OFF -DWITH_GDK_PIXBUF=OFF -DBUILD_TESTING=OFF -DWITH_FUZZERS=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_Doxygen=ON \
    -DLIBDE265_INCLUDE_DIR="$prefix/include" -DLIBDE265_LIBRARY="$lib" \
    -DDAV1D_INCLUDE_DIR="$prefix/include" -DDAV1D_LIBRARY="$prefix/lib/libdav1d.a" >/dev/null
  cmake --build "$src/b-heif" -j"$(nproc)" >/dev/null
  cmake --install "$src/b-heif" >/dev/null
  # The licences travel with the zip (scripts/dist.sh).
  mkdir -p "$prefix/share/doc/libheif" "$prefix/share/doc/libde265" "$prefix/share/doc/dav1d"
  cp "$src/libheif/COPYING" "$prefix/share/doc/libheif/"
  cp "$src/libde265/COPYING" "$prefix/share/doc/libde265/"
  cp "$src/dav1d/COPYING" "$prefix/share/doc/dav1d/"
  rm -rf "$src"
}

# The HEIF libraries for one toolchain (mingw or native) into build/deps/<kind>-heif.
build_heif() {
  local kind=$1 prefix=$build/deps/$1-heif stamp
  stamp=$(stamp_of build_heif_libraries libde265 dav1d libheif)
  is_current "$prefix" "$stamp" && return
  say "building libde265, dav1d and libheif ($kind)"
  build_heif_libraries "$kind" "$prefix" "$build/deps/src-heif-$kind"
  echo "$stamp" >"$prefix/.stamp"
}

if [ "${1:-}" != "--wine-only" ]; then
  install_packages
  setup_locale
  build_mingw_jpeg
  build_mingw_webp
  build_mingw_lcms2
  build_heif mingw
  build_heif native
fi
if [ "${1:-}" != "--no-wine" ]; then
  "$root/scripts/wine-prefix.sh"
fi
say "ready"
