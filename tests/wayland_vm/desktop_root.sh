#!/usr/bin/env bash
# The disk of the desktop virtual machine: a minimal Debian root of the running release with
# the wlroots compositors cage and sway, the Wayland client wev, udev, seatd, kmod and the given
# Velmarin package, installed with apt so its dependencies come as a user gets them; the test
# kernel's modules; an ordinary user "station". Packed into an ext4 image.
#   desktop_root.sh PACKAGE.deb KERNEL_DIR
# Prints the image's path. Kept in /var/cache/velmarin-desktop-vm/RELEASE: the root with the
# package's dependencies is made once (debootstrap, a few minutes) and made again only when the
# package's dependencies or this recipe change; a changed package is installed into it again and
# the image packed anew (seconds). The three images used last are kept, so test runs of
# different trees do not undo each other's work. Runs as root (through sudo -n otherwise); exits 77 (skipped)
# with the reason where it cannot.
set -euo pipefail
skip() { echo "SKIPPED: $*" >&2; exit 77; }
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null ||
    skip "making the desktop machine's root (debootstrap, chroot) needs root or sudo without a password"
  exec sudo -n --preserve-env=VELMARIN_DEBIAN_MIRROR "$0" "$@"
fi
package=$(realpath "$1")
kernel=$2
here=$(cd "$(dirname "$0")" && pwd)
release=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
cache=/var/cache/velmarin-desktop-vm/$release
base=$cache/base
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9

key() { sha256sum | cut -c1-16; }

# Runs a command in the root, in a mount namespace of its own, unable to load modules into this
# machine's kernel (the package's maintainer script loads uinput). Inside a chroot such as
# scripts/in-debian.sh's, "/" is no mount point and cannot be made private; that one runs in a
# private namespace of its own already.
in_root() {
  local propagation=private
  mountpoint -q / || propagation=unchanged
  unshare --mount --propagation "$propagation" -- sh -c '
    root=$1; shift
    mount -t proc proc "$root/proc" && mount --bind /dev "$root/dev" &&
    exec setpriv --bounding-set=-sys_module env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
      LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive chroot "$root" "$@"' sh "$base" "$@"
}
install_package() { # install_package [PACKAGE...]: the package to test, with these
  cp "$package" "$base/tmp/velmarin.deb"
  in_root apt-get install -y -qq --no-install-recommends --reinstall "$@" /tmp/velmarin.deb \
    >"$cache/apt.log" 2>&1 || { tail -n 20 "$cache/apt.log" >&2; exit 1; }
  rm "$base/tmp/velmarin.deb"
}
make_base() {
  echo "desktop-vm: making the $release desktop root in $base" >&2
  rm -rf "$base" "$base.new" "$cache/base.key" "$cache"/desktop-*.img
  "$here/../../scripts/debian-root.sh" "$release" "$base.new"
  mv "$base.new" "$base"
  in_root apt-get update -qq >"$cache/apt.log" 2>&1 || { tail -n 20 "$cache/apt.log" >&2; exit 1; }
  # libinput-tools is left out: it pulls in GTK and Python.
  install_package cage sway wev udev seatd kmod
  # No X server: Debian 13's cage depends on xwayland (it starts the server only for an X
  # client); the server itself goes.
  rm -f "$base/usr/bin/Xwayland"
  in_root useradd --create-home --uid 1000 --shell /bin/sh station
  in_root apt-get clean
  rm -rf "$base"/var/lib/apt/lists/* "$base"/usr/share/{doc,man,info,locale}
}

# The root is made anew when its recipe or the package's dependencies change; the image when
# the package or the kernel changes too.
base_key=$( {
  declare -f in_root install_package make_base
  cat "$here/../../scripts/debian-root.sh"
  dpkg-deb -f "$package" Depends
} | key)
image_key=$( { echo "$base_key"; sha256sum <"$package"; cat "$kernel/made"; } | key)
image=$cache/desktop-$image_key.img
if [ -f "$image" ]; then
  touch "$image"
  echo "$image"
  exit 0
fi

started=$SECONDS
if [ "$(cat "$cache/base.key" 2>/dev/null)" != "$base_key" ]; then
  make_base
  echo "$base_key" >"$cache/base.key"
else
  install_package
fi
rm -rf "$base/lib/modules"
mkdir -p "$base/lib/modules"
cp -a "$kernel/modules/lib/modules/." "$base/lib/modules/"
# Sparse: only the blocks in use take room.
size=$(( $(du -sm "$base" | cut -f1) * 3 / 2 + 200 ))M
mke2fs -q -t ext4 -L velmarin-desktop -d "$base" "$image.new" "$size" >/dev/null
mv "$image.new" "$image"
# The three images used last stay.
ls -t "$cache"/desktop-*.img | tail -n +4 | xargs -r rm -f
echo "desktop-vm: root $(du -sm "$base" | cut -f1) MB, image $(du -sm "$image" | cut -f1) MB, made in $((SECONDS - started)) s" >&2
echo "$image"
