#!/usr/bin/env bash
# The installed program on a real Wayland desktop: boots a small QEMU machine whose disk holds
# a Debian root with this build's Debian package installed (desktop_root.sh) and the compositor
# cage showing the Wayland client wev, runs the cases of desktop_test.sh there and reports them.
#   run_desktop_test.sh BUILD_DIR USB_IO_BOARD
# The package is made from BUILD_DIR by scripts/package.sh; USB_IO_BOARD is the static program
# that makes the foot switch's board in the machine (usb_io_board.cc). Exits 77 (skipped) with
# the reason where QEMU, busybox or the kernel package cannot be had.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
board=$2
skip() { echo "SKIPPED: $*"; exit 77; }

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (scripts/install-deps.sh installs it)"
busybox=/bin/busybox
[ -x "$busybox" ] && "$busybox" cpio --help >/dev/null 2>&1 ||
  skip "busybox is not installed (scripts/install-deps.sh installs busybox-static)"
kernel=$("$here/../vm/test_kernel.sh" "$build/test-kernel") || exit
version=$(cat "$kernel/version")

started=$SECONDS
"$here/../../scripts/package.sh" --from-build "$build" >"$build/desktop-vm-package.log" 2>&1 || {
  tail -n 20 "$build/desktop-vm-package.log"
  echo "FAILED: scripts/package.sh could not make the package"
  exit 1
}
deb=$(ls -t "$build"/velmarin_*.deb | head -n1)
image=$("$here/desktop_root.sh" "$deb" "$kernel") || exit
echo "package and disk ready in $((SECONDS - started)) s: $image"

# The first RAM disk: busybox loads the disk's modules, mounts the disk and hands over to
# desktop_test.sh on it. The disk opens read-only (snapshot=on), so every boot starts alike.
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
(cd "$ramdisk" && find . | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null) | gzip -1 >"$work/ramdisk.cpio.gz"

exec 8<"$image"  # kept open: another run may replace the cache's images meanwhile
console=$build/desktop-vm-console.log
# boot PATIENCE ACCELERATOR-OPTIONS...: the machine's console text goes to $console. A machine
# that has not begun its test within PATIENCE seconds is given up (a KVM that opens can still
# be unusable, as under some nested virtualisation); one that never powers off ends in 4 minutes.
boot() {
  local patience=$1 waited=0
  shift
  (timeout 240 "$qemu" "$@" -m 1024 -smp 1 -nodefaults -no-user-config -nographic \
    -serial stdio -monitor none -no-reboot -device virtio-gpu-pci \
    -drive file=/dev/fd/8,if=virtio,format=raw,snapshot=on \
    -kernel "$kernel/kernel" -initrd "$work/ramdisk.cpio.gz" \
    -append "console=ttyS0 quiet panic=-1" </dev/null >"$console" 2>&1 || exit) 2>/dev/null &
  local machine=$!  # the subshell, which keeps the shell's note of a crashed QEMU to itself
  until grep -q 'velmarin-vm: booted' "$console"; do
    if ! kill -0 "$machine" 2>/dev/null || [ "$waited" -ge $((patience * 10)) ]; then
      pkill -TERM -P "$machine" || true
      break
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  wait "$machine" || true
  sed -i 's/\r$//' "$console"
}
booted=$SECONDS
accel=kvm
# KVM where it works, else emulation.
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then boot 30 -accel kvm -cpu host; fi
if ! grep -q '^velmarin-vm-result ' "$console" 2>/dev/null; then
  booted=$SECONDS
  accel=tcg
  boot 120 -accel tcg -cpu max
fi
grep -o 'velmarin-vm: .*\|^    .*' "$console" || true
echo "boot to result: $((SECONDS - booted)) s ($accel)"
grep -qx 'velmarin-vm-result 0' "$console" || {
  grep -q '^velmarin-vm-result ' "$console" || tail -n 40 "$console"
  exit 1
}
