#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build, run and test Vesko 2.
# Idempotent: every step checks what is already there and skips it.
#   scripts/setup.sh            packages, locale, mingw libjpeg-turbo and libwebp, Wine prefix
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
  if [ -z "$need" ] && apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package:' \
    && apt-cache showsrc libwebp 2>/dev/null | grep -q '^Package:'; then
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

if [ "${1:-}" != "--wine-only" ]; then
  install_packages
  setup_locale
  build_mingw_jpeg
  build_mingw_webp
fi
if [ "${1:-}" != "--no-wine" ]; then
  "$root/scripts/wine-prefix.sh"
fi
say "ready"
