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
  xvfb xauth xdotool imagemagick x11-utils zip unzip
  fonts-ipafont-gothic fonts-ipafont-mincho locales
  cmake make g++ nasm dpkg-dev pkg-config clang libclang-rt-14-dev
  python3 procps git
  doctest-dev zlib1g-dev libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev
  libwebp-dev webp
  meson ninja-build libheif-dev libheif-examples libavif-bin
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
  local sources=yes s
  for s in libjpeg-turbo libwebp libde265 dav1d libheif lcms2; do
    apt-cache showsrc "$s" 2>/dev/null | grep -q '^Package:' || sources=
  done
  if [ -z "$need" ] && [ -n "$sources" ]; then
    return
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture"
    sudo_ dpkg --add-architecture i386
  fi
  if ! grep -rqs 'deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    say "enabling source packages"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      sudo_ tee /etc/apt/sources.list.d/vesko2-src.sources >/dev/null
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

# libjpeg-turbo for mingw, static, with SIMD, from Debian's source package.
build_mingw_jpeg() {
  local prefix=$build/deps/mingw-jpeg
  [ -f "$prefix/lib/libjpeg.a" ] && return
  say "building libjpeg-turbo for mingw"
  local src=$build/deps/src
  rm -rf "$src" && mkdir -p "$src"
  (cd "$src" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1)
  local dir
  dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo*' | head -n1)
  cmake -S "$dir" -B "$src/build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON \
    -DCMAKE_SYSTEM_PROCESSOR=i686 >/dev/null
  cmake --build "$src/build" -j"$(nproc)" >/dev/null
  cmake --install "$src/build" >/dev/null
  rm -rf "$src"
}

# libwebp for mingw, static, with SIMD, from Debian's source package: the decoder and the demuxer
# (for the first frame of an animation) that ifwebp.spi links in; no tools, no encoder extras.
build_mingw_webp() {
  local prefix=$build/deps/mingw-webp
  [ -f "$prefix/lib/libwebp.a" ] && [ -f "$prefix/lib/libwebpdemux.a" ] && return
  say "building libwebp for mingw"
  local src=$build/deps/src-webp
  rm -rf "$src" && mkdir -p "$src"
  (cd "$src" && apt-get source -qq libwebp >/dev/null 2>&1)
  local dir
  dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'libwebp*' | head -n1)
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
  rm -rf "$src"
}

# Little CMS for mingw, static, from Debian's source package: the library's C files compiled as
# they are (no tools, no plug-ins), for the program's colour conversion and ifheif.spi.
build_mingw_lcms2() {
  local prefix=$build/deps/mingw-lcms2
  [ -f "$prefix/lib/liblcms2.a" ] && return
  say "building Little CMS for mingw"
  local src=$build/deps/src-lcms2
  rm -rf "$src" "$prefix" && mkdir -p "$src" "$prefix/lib" "$prefix/include" "$prefix/share/doc/lcms2"
  (cd "$src" && apt-get source -qq lcms2 >/dev/null 2>&1)
  local dir
  dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'lcms2*' | head -n1)
  local c objects=()
  for c in "$dir"/src/*.c; do
    i686-w64-mingw32-gcc -O2 -DNDEBUG -DHasTHREADS=1 -I"$dir/include" -c "$c" \
      -o "$src/$(basename "$c" .c).o"
    objects+=("$src/$(basename "$c" .c).o")
  done
  i686-w64-mingw32-ar rcs "$prefix/lib/liblcms2.a" "${objects[@]}"
  cp "$dir/include/lcms2.h" "$prefix/include/"
  # The licence travels with the zip (scripts/dist.sh).
  cp "$dir/COPYING" "$prefix/share/doc/lcms2/"
  rm -rf "$src"
}

# libheif for mingw with its HEVC (libde265) and AV1 (dav1d, with its x86 assembly) decoders,
# from Debian's source packages. libheif and libde265 are LGPL: they become DLLs that travel
# beside ifheif.spi, so that a user can put in builds of their own; dav1d (BSD) is linked into
# libheif.dll. The C and C++ runtimes go in statically; nothing else is exported. No plug-in
# loading, no encoders, no tools.
build_mingw_heif() {
  local prefix=$build/deps/mingw-heif
  [ -f "$prefix/bin/libheif.dll" ] && [ -f "$prefix/bin/libde265.dll" ] && return
  say "building libde265, dav1d and libheif for mingw"
  local src=$build/deps/src-heif
  rm -rf "$src" "$prefix" && mkdir -p "$src"
  (cd "$src" && apt-get source -qq libde265 dav1d libheif >/dev/null 2>&1)
  local de265 dav1d heif
  de265=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'libde265*' | head -n1)
  dav1d=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'dav1d*' | head -n1)
  heif=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'libheif*' | head -n1)
  local link="-static -static-libgcc -static-libstdc++ -Wl,--exclude-libs,ALL"
  local toolchain=$root/cmake/mingw-i686.cmake
  cmake -S "$de265" -B "$src/b-de265" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF \
    -DCMAKE_SHARED_LINKER_FLAGS="$link" >/dev/null
  cmake --build "$src/b-de265" -j"$(nproc)" >/dev/null
  cmake --install "$src/b-de265" >/dev/null
  meson setup "$src/b-dav1d" "$dav1d" --cross-file "$root/cmake/meson-mingw-i686.txt" \
    --prefix="$prefix" --buildtype=release --default-library=static -Denable_tools=false \
    -Denable_tests=false -Denable_examples=false >/dev/null
  ninja -C "$src/b-dav1d" >/dev/null
  ninja -C "$src/b-dav1d" install >/dev/null
  cmake -S "$heif" -B "$src/b-heif" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DENABLE_PLUGIN_LOADING=OFF -DWITH_LIBDE265=ON -DWITH_DAV1D=ON -DWITH_X265=OFF \
    -DWITH_AOM_ENCODER=OFF -DWITH_AOM_DECODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF \
    -DWITH_EXAMPLES=OFF -DWITH_GDK_PIXBUF=OFF -DBUILD_TESTING=OFF \
    -DLIBDE265_INCLUDE_DIR="$prefix/include" -DLIBDE265_LIBRARY="$prefix/lib/libde265.dll.a" \
    -DDAV1D_INCLUDE_DIR="$prefix/include" -DDAV1D_LIBRARY="$prefix/lib/libdav1d.a" \
    -DCMAKE_SHARED_LINKER_FLAGS="$link" >/dev/null
  cmake --build "$src/b-heif" -j"$(nproc)" >/dev/null
  cmake --install "$src/b-heif" >/dev/null
  # The licences travel with the zip (scripts/dist.sh).
  mkdir -p "$prefix/share/doc/libheif" "$prefix/share/doc/libde265" "$prefix/share/doc/dav1d"
  cp "$heif/COPYING" "$prefix/share/doc/libheif/"
  cp "$de265/COPYING" "$prefix/share/doc/libde265/"
  cp "$dav1d/COPYING" "$prefix/share/doc/dav1d/"
  rm -rf "$src"
}

if [ "${1:-}" != "--wine-only" ]; then
  install_packages
  setup_locale
  build_mingw_jpeg
  build_mingw_webp
  build_mingw_lcms2
  build_mingw_heif
fi
if [ "${1:-}" != "--no-wine" ]; then
  "$root/scripts/wine-prefix.sh"
fi
say "ready"
