#!/usr/bin/env bash
# Proves the README's promise on a machine that has nothing: debootstraps a minimal Debian 12
# (bookworm, variant minbase) into the build tree, clones this repository's committed state into
# it and runs the README's test command inside, in a chroot with /proc, /sys and /dev mounted.
#   scripts/fresh-check.sh [command]   default: the README's test command
# The result and the log land in build/fresh-check/; the chroot is kept for a look afterwards
# and made anew on the next run. Needs root (debootstrap, chroot, mounts) and the package mirror.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VESKO_BUILD:-$root/build}
out=$build/fresh-check
chroot_dir=$out/root
# The Debian archive this machine's own apt sources name for its release, unless FRESH_MIRROR says.
mirror=${FRESH_MIRROR:-$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null |
  awk -v c="$(. /etc/os-release && echo "$VERSION_CODENAME")" '$2 == c { print $1; exit }')}
command=${1:-scripts/setup.sh && make test}
say() { printf '[fresh-check] %s\n' "$*"; }

[ "$(id -u)" = 0 ] || { say "must run as root (debootstrap, chroot and mounts)"; exit 2; }
[ -n "$mirror" ] || { say "no Debian archive in this machine's apt sources: set FRESH_MIRROR"; exit 2; }

mounts=(proc sys dev dev/pts dev/shm)
unmount_all() {
  local i m
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    m=$chroot_dir/${mounts[$i]}
    mountpoint -q "$m" 2>/dev/null && umount -l "$m"
  done
  return 0
}
trap unmount_all EXIT

command -v debootstrap >/dev/null || {
  say "installing debootstrap"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
}

unmount_all
rm -rf "$out"
mkdir -p "$out"
started=$(date +%s)
say "debootstrap bookworm (minbase) into $chroot_dir"
timeout 1800 debootstrap --variant=minbase bookworm "$chroot_dir" "$mirror" >"$out/debootstrap.log" 2>&1 || {
  tail -n 20 "$out/debootstrap.log"
  say "FAILED: debootstrap"
  exit 1
}

# The repository as a clone holds it: committed files only, no build tree, nothing from beside it.
say "cloning $(git -C "$root" rev-parse --short HEAD) into the chroot"
git clone -q --no-hardlinks "$root" "$chroot_dir/work/vesko2"

cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"
mount -t proc proc "$chroot_dir/proc"
mount -t sysfs sys "$chroot_dir/sys"
mount --bind /dev "$chroot_dir/dev"
mount -t devpts devpts "$chroot_dir/dev/pts" -o newinstance,ptmxmode=0666
mount -t tmpfs shm "$chroot_dir/dev/shm"

say "running '$command' inside (log: $out/test.log)"
set +e
timeout 5400 chroot "$chroot_dir" /usr/bin/env -i HOME=/root TERM=dumb \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c "cd /work/vesko2 && $command" </dev/null >"$out/test.log" 2>&1
status=$?
set -e
minutes=$((($(date +%s) - started + 59) / 60))
tail -n 15 "$out/test.log"
if [ $status -eq 0 ]; then
  say "PASSED in $minutes min: '$command' on a fresh minimal bookworm" | tee "$out/result.txt"
else
  say "FAILED (exit $status) after $minutes min: see $out/test.log" | tee "$out/result.txt"
fi
exit $status
