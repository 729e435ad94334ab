#!/usr/bin/env bash
# Runs COMMAND inside a minimal root of the Debian RELEASE, made with debootstrap, with this
# repository as the working folder, after scripts/install-deps.sh has installed what is missing
# there. For example, the whole suite on Debian 13:
#   scripts/in-debian.sh trixie scripts/test.sh
# The root is kept in $VELMARIN_CI_CACHE/RELEASE (default /var/cache/velmarin-ci/RELEASE) and
# made anew when it is a week old. The repository appears at /src/velmarin; its build/ folder
# there is the root's own, kept beside the root, so builds inside and outside never mix. Each
# run starts with an empty build/ (what it builds stays there until the next run), and ccache,
# kept beside the root as well, makes building again cheap. The command gets its own /proc,
# /sys, /tmp and /dev/pts (pseudo-terminals) in a private mount namespace, all gone when it
# ends. Runs as root (through sudo otherwise); one run per release at a time.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 RELEASE COMMAND..." >&2; exit 2; }
if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=VELMARIN_CI_CACHE,VELMARIN_DEBIAN_MIRROR "$0" "$@"
fi
release=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${VELMARIN_CI_CACHE:-/var/cache/velmarin-ci}/$release
root=$cache/root
inside=/src/velmarin

if [ -z "${VELMARIN_IN_DEBIAN_NAMESPACE:-}" ]; then
  mkdir -p "$cache"
  exec 9>"$cache/lock"
  flock 9
  if [ ! -e "$cache/made" ] || [ -n "$(find "$cache/made" -mtime +6)" ]; then
    echo "in-debian: making a $release root in $root" >&2
    rm -rf "$cache/new" "$cache/made"
    "$repo/scripts/debian-root.sh" "$release" "$cache/new" --include=ca-certificates,ccache
    # The repository belongs to someone outside the root: git works in it all the same.
    printf '[safe]\n\tdirectory = *\n' >"$cache/new/etc/gitconfig"
    # Nothing is mounted there any more: the mounts lived in the namespace of the last run.
    rm -rf --one-file-system "$root" "$cache/build"
    mv "$cache/new" "$root"
    touch "$cache/made"
  fi
  # The lock (descriptor 9) stays held by the namespace's processes.
  exec env VELMARIN_IN_DEBIAN_NAMESPACE=1 \
    unshare --mount --pid --fork --propagation private "$0" "$@"
fi
shift

mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
mount_at() { # mount_at TARGET MOUNT-ARGUMENTS...
  local target=$1
  shift
  mount "$@" "$target"
  mounted+=("$target")
}

cp -L /etc/resolv.conf "$root/etc/resolv.conf"
mount_at "$root/proc" -t proc proc
mount_at "$root/sys" -t sysfs sysfs
mount_at "$root/dev" --bind /dev
mount_at "$root/dev/pts" -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts
mount_at "$root/dev/ptmx" --bind "$root/dev/pts/ptmx"
mount_at "$root/dev/shm" -t tmpfs -o mode=1777 tmpfs
mount_at "$root/tmp" -t tmpfs -o mode=1777 tmpfs
rm -rf --one-file-system "$cache/build"
mkdir -p "$root$inside" "$root/var/cache/ccache" "$cache/build" "$cache/ccache" "$repo/build"
mount_at "$root$inside" --bind "$repo"
mount_at "$root$inside/build" --bind "$cache/build"
mount_at "$root/var/cache/ccache" --bind "$cache/ccache"
# A worktree's .git names the shared git folder by its path: it appears there too, read-only.
common=$(git -C "$repo" rev-parse --path-format=absolute --git-common-dir 2>/dev/null || true)
if [ -n "$common" ] && [ "${common#"$repo"/}" = "$common" ]; then
  mkdir -p "$root$common"
  mount_at "$root$common" --bind "$common"
  mount -o remount,bind,ro "$root$common"
fi

env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
  CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache \
  CCACHE_DIR=/var/cache/ccache CCACHE_MAXSIZE=2G \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  chroot "$root" /bin/bash -c \
  'set -e; cd "$0"; scripts/install-deps.sh; "$@"' \
  "$inside" "$@"
