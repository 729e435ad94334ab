#!/usr/bin/env bash
# Makes ready what boot_desktop_vm.sh boots: this build's Debian package (scripts/package.sh),
# installed into the desktop machine's disk (desktop_root.sh), the kernel (tests/vm), and the
# first RAM disk with desktop_test.sh and the foot switch's board.
#   prepare_desktop_vm.sh BUILD_DIR USB_IO_BOARD
# USB_IO_BOARD is the static program that makes the board in the machine (usb_io_board.cc).
# Everything goes into BUILD_DIR/desktop-vm. Exits 77 (skipped) with the reason, also written
# to BUILD_DIR/desktop-vm/skipped for the boots, where QEMU, busybox or the kernel package
# cannot be had.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
board=$2
prepared=$build/desktop-vm
rm -rf "$prepared"
mkdir -p "$prepared"
skip() {
  echo "$*" >"$prepared/skipped"
  echo "SKIPPED: $*" >&2
  exit 77
}

# step LOG COMMAND...: COMMAND's output; its standard error goes to LOG and is shown, and a
# COMMAND that skips (77) skips this with its reason.
step() {
  local log=$1 status=0
  shift
  "$@" 2>"$log" || status=$?
  cat "$log" >&2
  [ "$status" -ne 77 ] || skip "$(sed -n 's/^SKIPPED: //p' "$log")"
  return "$status"
}

command -v qemu-system-x86_64 >/dev/null ||
  skip "qemu-system-x86_64 is not installed (scripts/install-deps.sh installs it)"
busybox=/bin/busybox
[ -x "$busybox" ] && "$busybox" cpio --help >/dev/null 2>&1 ||
  skip "busybox is not installed (scripts/install-deps.sh installs busybox-static)"
kernel=$(step "$prepared/kernel.log" "$here/../vm/test_kernel.sh" "$build/test-kernel")
version=$(cat "$kernel/version")

started=$SECONDS
"$here/../../scripts/package.sh" --from-build "$build" >"$prepared/package.log" 2>&1 || {
  tail -n 20 "$prepared/package.log"
  echo "FAILED: scripts/package.sh could not make the package"
  exit 1
}
deb=$(ls -t "$build"/velmarin_*.deb | head -n1)
image=$(step "$prepared/disk.log" "$here/desktop_root.sh" "$deb" "$kernel")
# A second name for the image, so it outlives its place in the cache until the boots are done
# (a symbolic link where the cache lies on another file system).
ln "$image" "$prepared/disk" 2>/dev/null || ln -s "$image" "$prepared/disk"
ln -s "$kernel/kernel" "$prepared/kernel"
echo "package and disk ready in $((SECONDS - started)) s: $image"

# The first RAM disk: busybox loads the disk's modules, mounts the disk and hands over to
# desktop_test.sh on it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ramdisk=$work/ramdisk
mkdir -p "$ramdisk"/{bin,dev,proc,sys,newroot,modules}
cp "$busybox" "$ramdisk/bin/busybox"
cp "$here/desktop_test.sh" "$board" "$ramdisk/"
for module in virtio_pci virtio_blk crc32c_generic ext4; do
  modprobe -d "$kernel/modules" -S "$version" --show-depends "$module" | sed -n 's/^insmod //p'
done | awk '!seen[$1]++ { print $1 }' | while read -r file; do
  cp "$file" "$ramdisk/modules/"
  basename "$file" >>"$ramdisk/modules/order"
done
cat >"$ramdisk/init" <<'INIT'
#!/bin/busybox sh
export PATH=/bin
busybox mount -t devtmpfs devtmpfs /dev
busybox mount -t proc proc /proc
while read -r module; do busybox insmod "/modules/$module" 2>/dev/null; done </modules/order
while [ ! -b /dev/vda ]; do busybox sleep 0.05; done
busybox mount -t ext4 /dev/vda /newroot || { echo "velmarin-vm: FAILED disk: /dev/vda does not mount"; exit 1; }
busybox mount -t tmpfs -o mode=0755 tmpfs /newroot/run
busybox cp /desktop_test.sh /usb_io_board /newroot/run/
busybox umount /proc /dev
exec busybox switch_root /newroot /bin/bash /run/desktop_test.sh
INIT
chmod 0755 "$ramdisk/init" "$ramdisk/bin/busybox"
(cd "$ramdisk" && find . | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null) | gzip -1 >"$prepared/ramdisk.cpio.gz"
