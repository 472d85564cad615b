#!/usr/bin/env bash
# Fetches one pinned Debian source package (scripts/deps/sources.pin), checks it and unpacks it
# with Debian's patches applied:
#   scripts/deps/fetch-source.sh PACKAGE DEST     unpacks into DEST (which must not exist)
#   scripts/deps/fetch-source.sh --stamp PACKAGE  prints the pin line, for rebuild stamps
# The files are kept in $VESKO_BUILD/deps/sources (build/deps/sources by default), where
# scripts/dist.sh finds them for the sources zip. They come from the Debian archive that this
# system's own apt sources name, through apt's own downloader (and so its proxy settings); the
# .dsc must have the pinned SHA-256 and every file must have the SHA-256 the .dsc gives it.
# There is no fallback to another version: anything missing or different stops with a message.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${VESKO_BUILD:-$root/build}
pins=$root/scripts/deps/sources.pin
cache=$build/deps/sources

die() {
  printf '[setup] %s\n' "$*" >&2
  exit 1
}

pin_line() {
  local line
  line=$(awk -v p="$1" '$1 == p { print; exit }' "$pins")
  [ -n "$line" ] || die "no pinned source for $1 in scripts/deps/sources.pin"
  echo "$line"
}

if [ "${1:-}" = "--stamp" ]; then
  line=$(pin_line "$2") || exit 1
  echo "$line" | tr -s ' '
  exit 0
fi
[ $# -eq 2 ] || die "usage: fetch-source.sh PACKAGE DEST"
package=$1
dest=$2
line=$(pin_line "$package") || exit 1
read -r _ version pool dsc_sha <<<"$line"
upstream=${version#*:}
dsc=${package}_${upstream}.dsc

# The Debian archive of this system's own release, as its apt sources name it.
archive_uri() {
  local codename uri
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null |
    awk -v c="$codename" '$2 == c { print $1; exit }')
  [ -n "$uri" ] || die "no apt source for Debian '$codename' is configured (run apt-get update?), so $package $version cannot be fetched"
  echo "${uri%/}"
}

# Downloads a file of the pool into the cache unless it is there with the right sum.
fetch() {
  local name=$1 sha=$2
  if [ -f "$cache/$name" ] && echo "$sha  $cache/$name" | sha256sum --quiet -c - 2>/dev/null; then
    return
  fi
  rm -f "$cache/$name"
  local uri
  uri=$(archive_uri)/$pool/$name
  /usr/lib/apt/apt-helper download-file "$uri" "$cache/$name.part" "SHA256:$sha" >/dev/null 2>&1 || {
    rm -f "$cache/$name.part"*
    die "cannot fetch $name (SHA-256 $sha) from $uri: the pinned $package $version is not available, or not as pinned"
  }
  mv "$cache/$name.part" "$cache/$name"
}

mkdir -p "$cache"
fetch "$dsc" "$dsc_sha"
# Every file the .dsc names, against its SHA-256 there.
files=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/{/^ /p}' "$cache/$dsc")
[ -n "$files" ] || die "$dsc names no files"
while read -r sha _ name; do
  fetch "$name" "$sha"
done <<<"$files"

[ ! -e "$dest" ] || die "$dest is in the way"
mkdir -p "$(dirname "$dest")"
dpkg-source -x "$cache/$dsc" "$dest" >"$cache/$package.unpack.log" 2>&1 ||
  die "cannot unpack $dsc (see $cache/$package.unpack.log)"
