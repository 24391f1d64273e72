#!/usr/bin/env bash
# Installs a built package into a clean Debian 12 root made by debootstrap,
# runs the installed programs' --help and the desktop checks there, and removes
# the package again. Needs root and Debian's package archive.
#   scripts/test-package-install.sh build-pkg/orvex-datalogger_1.0.0_amd64.deb [ROOT]
# ROOT (default /tmp/orvex-pkgroot) is made on the first run and reused after.
set -euo pipefail
deb="$(realpath "$1")"
root="${2:-/tmp/orvex-pkgroot}"
[ "$(id -u)" -eq 0 ] || { echo "needs root (debootstrap, chroot)" >&2; exit 1; }
if [ ! -x "$root/usr/bin/apt-get" ]; then
  command -v debootstrap >/dev/null ||
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
name="$(basename "$deb")"
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
trap 'umount "$root/proc" 2>/dev/null || true' EXIT

in_root apt-get update -q
in_root apt-get install -y -q --no-install-recommends "/tmp/$name"
echo "== installed"
in_root dpkg -s orvex-datalogger | sed -n '/^Status/p;/^Depends/p'
in_root orvex-dl --help
in_root orvex-logger-sim --help | head -n 3
in_root env QT_QPA_PLATFORM=offscreen orvex-datalogger --help
test -s "$root/usr/share/man/man1/orvex-dl.1.gz"
test -s "$root/usr/share/man/man5/orvex-rtdata.5.gz"
test -s "$root/usr/share/icons/hicolor/256x256/apps/orvex-datalogger.png"
# shared-mime-info's trigger ran: the type is in the system's cache.
grep -q 'application/x-orvex-stdata' "$root/usr/share/mime/globs2" &&
  echo "MIME type registered by the shared-mime-info trigger" ||
  echo "MIME type not in the cache (shared-mime-info is not installed in this root)"
echo "== removing"
in_root apt-get remove -y -q orvex-datalogger
if in_root dpkg -s orvex-datalogger >/dev/null 2>&1 &&
   in_root dpkg -s orvex-datalogger | grep -q 'Status: install'; then
  echo "still installed" >&2; exit 1
fi
left="$(ls "$root/usr/bin" | grep orvex || true)"
[ -z "$left" ] || { echo "left behind: $left" >&2; exit 1; }
echo "Installed, ran and removed cleanly in $root"
