#!/usr/bin/env bash
# Runs a statically linked test binary in a small QEMU virtual machine booted with Debian's own
# kernel, which has the uinput and evdev modules that build machines and containers lack.
#   run_in_vm.sh TEST_BINARY FALLBACK_CACHE_DIR
# The kernel comes from tests/vm/test_kernel.sh (downloaded once; FALLBACK_CACHE_DIR is where
# an ordinary user keeps it). Exits 77 (skipped) with the reason when QEMU, busybox or the
# kernel is missing.
set -euo pipefail

binary=$1
skip() { echo "SKIPPED: $*"; exit 77; }

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (scripts/install-deps.sh installs it)"
busybox=/bin/busybox
[ -x "$busybox" ] && "$busybox" cpio --help >/dev/null 2>&1 ||
  skip "busybox is not installed (scripts/install-deps.sh installs busybox-static)"
kernel=$("$(dirname "$0")/../vm/test_kernel.sh" "$2") || exit
modules=$kernel/modules/lib/modules/$(cat "$kernel/version")

# The initial RAM disk: busybox, the modules, the test and an /init that runs it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys}
cp "$busybox" "$root/bin/busybox"
cp "$modules/kernel/drivers/input/evdev.ko" "$modules/kernel/drivers/input/misc/uinput.ko" "$root/"
cp "$binary" "$root/test"
cat >"$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox mount -t devtmpfs devtmpfs /dev
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sysfs /sys
/bin/busybox insmod /evdev.ko
/bin/busybox insmod /uinput.ko
/test
echo "velmarin-vm-result $?"
/bin/busybox poweroff -f
INIT
chmod 0755 "$root/init" "$root/test"
(cd "$root" && find . | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null) | gzip -1 >"$work/init.cpio.gz"

# A failing /init panics the kernel, panic=-1 reboots it and -no-reboot ends QEMU: no hang.
boot() {
  timeout 240 "$qemu" "$@" -m 256 -smp 1 -nodefaults -no-user-config -nographic \
    -serial stdio -monitor none -no-reboot -kernel "$kernel/kernel" \
    -initrd "$work/init.cpio.gz" -append "console=ttyS0 quiet panic=-1" 2>&1 | tr -d '\r' || true
}
output=""
# KVM where it works (a /dev/kvm may open and still refuse the guest), else emulation.
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then output=$(boot -accel kvm -cpu host); fi
if ! printf '%s\n' "$output" | grep -q '^velmarin-vm-result '; then
  output=$(boot -accel tcg -cpu max)
fi
printf '%s\n' "$output" | grep -E '^(ok|FAILED|all checks|some checks|velmarin-vm-result)' || true
printf '%s\n' "$output" | grep -qx 'velmarin-vm-result 0' || {
  printf '%s\n' "$output" | tail -n 30
  exit 1
}
