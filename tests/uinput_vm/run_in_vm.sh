#!/usr/bin/env bash
# Runs a statically linked test binary in a small QEMU virtual machine booted with Debian's own
# kernel, which has the uinput and evdev modules that build machines and containers lack.
#   run_in_vm.sh TEST_BINARY FALLBACK_CACHE_DIR
# The kernel and the two modules are taken from Debian's linux-image package once and kept in
# /var/cache/velmarin-test-kernel, or in FALLBACK_CACHE_DIR where that cannot be written (an
# ordinary user), so CI downloads the package only once. Exits 77 (skipped) with the reason when QEMU, busybox or the kernel is missing.
set -euo pipefail

binary=$1
cache=/var/cache/velmarin-test-kernel
mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] || cache=$2
skip() { echo "SKIPPED: $*"; exit 77; }

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (scripts/install-deps.sh installs it)"
busybox=/bin/busybox
[ -x "$busybox" ] && "$busybox" cpio --help >/dev/null 2>&1 ||
  skip "busybox is not installed (scripts/install-deps.sh installs busybox-static)"

# The kernel of the running Debian release's linux-image-amd64, with evdev.ko and uinput.ko.
if [ ! -f "$cache/vmlinuz" ] || [ ! -f "$cache/evdev.ko" ] || [ ! -f "$cache/uinput.ko" ]; then
  package=$(apt-cache depends linux-image-amd64 2>/dev/null |
            sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n1)
  [ -n "$package" ] || skip "apt knows no linux-image-amd64 package"
  mkdir -p "$cache"
  download=$(mktemp -d)
  trap 'rm -rf "$download"' EXIT
  (cd "$download" && apt-get download -qq "$package" >/dev/null 2>&1) ||
    skip "$package cannot be downloaded"
  dpkg-deb --fsys-tarfile "$download"/"$package"_*.deb |
    tar -x -C "$download" --wildcards './boot/vmlinuz-*' \
        '*/modules/*/kernel/drivers/input/evdev.ko*' \
        '*/modules/*/kernel/drivers/input/misc/uinput.ko*'
  for module in evdev uinput; do
    # Debian 12 keeps the modules in /lib, Debian 13 in /usr/lib.
    file=$(find "$download" -path "*/modules/*" -name "$module.ko*" | head -n1)
    case $file in
      *.xz) xz -dc "$file" >"$cache/$module.ko" ;;
      *.zst) zstd -qdc "$file" >"$cache/$module.ko" ;;
      *) cp "$file" "$cache/$module.ko" ;;
    esac
  done
  cp "$download"/boot/vmlinuz-* "$cache/vmlinuz"
fi

# The initial RAM disk: busybox, the modules, the test and an /init that runs it.
work=$(mktemp -d)
trap 'rm -rf "$work" ${download:+"$download"}' EXIT
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys}
cp "$busybox" "$root/bin/busybox"
cp "$cache/evdev.ko" "$cache/uinput.ko" "$root/"
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
    -serial stdio -monitor none -no-reboot -kernel "$cache/vmlinuz" \
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
