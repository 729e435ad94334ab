#!/usr/bin/env bash
# Makes a minimal root of the Debian RELEASE in DIR with debootstrap, from the Debian mirror
# this machine's own apt uses (or VELMARIN_DEBIAN_MIRROR). Its apt reads the release, its
# updates and its security updates; no service starts from a package's maintainer script.
#   scripts/debian-root.sh RELEASE DIR [DEBOOTSTRAP-OPTION...]
# DIR must not exist. debootstrap's log is DIR.log; its tail is shown when it fails. Runs as
# root; used by scripts/in-debian.sh and by the desktop virtual machine test.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 RELEASE DIR [DEBOOTSTRAP-OPTION...]" >&2; exit 2; }
release=$1
dir=$2
shift 2

host_mirror() {
  grep -hoE 'https?://[^[:space:]]+/debian/?([[:space:]]|$)' /etc/apt/sources.list \
    /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null |
    head -n 1 | tr -d '[:space:]' || true
}
mirror=${VELMARIN_DEBIAN_MIRROR:-$(host_mirror)}
mirror=${mirror%/}
[ -n "$mirror" ] || {
  echo "debian-root: no Debian mirror in apt's sources; set VELMARIN_DEBIAN_MIRROR" >&2
  exit 1
}
command -v debootstrap >/dev/null || apt-get install -y -qq --no-install-recommends debootstrap

debootstrap --variant=minbase "$@" "$release" "$dir" "$mirror" >"$dir.log" 2>&1 || {
  tail -n 20 "$dir.log" >&2
  exit 1
}
printf 'deb %s %s main\ndeb %s %s-updates main\ndeb %s-security %s-security main\n' \
  "$mirror" "$release" "$mirror" "$release" "$mirror" "$release" >"$dir/etc/apt/sources.list"
printf '#!/bin/sh\nexit 101\n' >"$dir/usr/sbin/policy-rc.d"
chmod 0755 "$dir/usr/sbin/policy-rc.d"
