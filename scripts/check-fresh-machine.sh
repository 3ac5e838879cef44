#!/usr/bin/env bash
# check-fresh-machine.sh [ROOT]
#
# Runs the test command as a new Debian 12 machine would: makes a minimal
# Debian 12 root with debootstrap (in ROOT, default /var/tmp/fresh-bookworm,
# made anew each time), gives it this machine's package sources, copies the
# checkout in (tracked and untracked files, not build/), and runs
# `bash scripts/test.sh` there as root with an empty environment. Mounts are
# made in a mount namespace of their own and go when the run ends.
#
# By hand, not by CI: it needs root and about 25 GB, and it installs every
# package the project needs once more. The log is ROOT.log; each stage of
# the run prints its time.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
checkout="$(cd "$here/.." && pwd)"
# shellcheck source=scripts/apt-lib.sh
. "$here/apt-lib.sh"

root=${1:-/var/tmp/fresh-bookworm}
log=$root.log
if [ "$(id -u)" -ne 0 ]; then
  echo "check-fresh-machine.sh must run as root (debootstrap, chroot)" >&2
  exit 2
fi

installed debootstrap || { apt_update; apt_get install -y -qq debootstrap; }

mirror=$(awk '/^URIs:/ && $2 ~ /\/debian\/?$/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
mirror=${mirror:-http://deb.debian.org/debian}

SECONDS=0
if mountpoint -q "$root/proc" 2>/dev/null; then
  echo "$root/proc is mounted: another run is using $root" >&2
  exit 1
fi
rm -rf "$root"
echo "debootstrap bookworm from $mirror into $root" | tee "$log"
debootstrap --variant=minbase bookworm "$root" "$mirror" >>"$log" 2>&1
echo "-- debootstrap: ${SECONDS}s" | tee -a "$log"

# This machine's package sources (main, updates, security), as a new
# machine of this kind has them.
rm -f "$root"/etc/apt/sources.list
mkdir -p "$root"/etc/apt/sources.list.d
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && cp "$f" "$root/etc/apt/sources.list.d/" || true
done
cp /etc/resolv.conf "$root/etc/resolv.conf"

mkdir -p "$root/checkout"
(cd "$checkout" && git ls-files -co --exclude-standard -z | grep -zv '^build/' |
  tar --null -T - -cf -) | tar -xf - -C "$root/checkout"

SECONDS=0
set +e
unshare --mount --propagation private bash -c '
  set -e
  r=$1
  mount -t proc proc "$r/proc"
  mount --rbind /sys "$r/sys"
  mount --rbind /dev "$r/dev"
  mount -t tmpfs tmpfs "$r/tmp"
  mount -t tmpfs tmpfs "$r/dev/shm"
  exec chroot "$r" /usr/bin/env -i HOME=/root \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /checkout && bash scripts/test.sh"
' _ "$root" >>"$log" 2>&1
code=$?
set -e
echo "-- test command in the fresh root: ${SECONDS}s, exit code $code" | tee -a "$log"
grep -E '^(== |-- )|tests passed|tests failed' "$log" || true
exit $code
