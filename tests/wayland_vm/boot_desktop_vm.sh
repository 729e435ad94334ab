#!/usr/bin/env bash
# The installed program on a real Wayland desktop: boots the machine prepare_desktop_vm.sh made
# ready, with COMPOSITOR (cage or sway) showing the Wayland client wev, runs the cases of
# desktop_test.sh there and reports them.
#   boot_desktop_vm.sh BUILD_DIR COMPOSITOR
# The machine's console goes to BUILD_DIR/desktop-vm/COMPOSITOR-console.log. Skipped (77) where
# the preparation was.
set -euo pipefail
prepared=$(realpath "$1")/desktop-vm
compositor=$2
[ -f "$prepared/skipped" ] && { echo "SKIPPED: $(cat "$prepared/skipped")"; exit 77; }
[ -e "$prepared/disk" ] && [ -e "$prepared/ramdisk.cpio.gz" ] || {
  echo "FAILED: the desktop machine was not made ready (the wayland_desktop_disk test does that)"
  exit 1
}
qemu=$(command -v qemu-system-x86_64)
# The program gives the compositor a second to take its new devices; a machine starved by a busy
# host can need longer. Run as root, the machine comes before the host's builds.
priority=()
[ "$(id -u)" -ne 0 ] || priority=(nice -n -10)
exec 8<"$prepared/disk"  # held open: another run may replace the cache's images meanwhile
console=$prepared/$compositor-console.log

# boot PATIENCE ACCELERATOR-OPTIONS...: the machine's console text goes to $console. A machine
# that has not begun its test within PATIENCE seconds is given up (a KVM that opens can still
# be unusable, as under some nested virtualisation); one that never powers off ends in 4 minutes.
# The disk opens read-only (snapshot=on), so every boot starts alike. The machine has a keyboard
# and a mouse of its own, as a desk has: the program's devices come and go beside them, and the
# seat never loses its keyboard or pointer (a client learns of a new one only after the
# compositor has taken it, and input sent in between would reach no one).
boot() {
  local patience=$1 waited=0
  shift
  ("${priority[@]}" timeout 240 "$qemu" "$@" -m 1024 -smp 1 -nodefaults -no-user-config -nographic \
    -serial stdio -monitor none -no-reboot -device virtio-gpu-pci \
    -device virtio-keyboard-pci -device virtio-mouse-pci \
    -drive file=/dev/fd/8,if=virtio,format=raw,snapshot=on \
    -kernel "$prepared/kernel" -initrd "$prepared/ramdisk.cpio.gz" \
    -append "console=ttyS0 quiet panic=-1 velmarin.compositor=$compositor" \
    </dev/null >"$console" 2>&1 || exit) 2>/dev/null &
  local machine=$!  # the subshell, which keeps the shell's note of a crashed QEMU to itself
  until grep -q 'velmarin-vm: booted' "$console" 2>/dev/null; do
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
started=$SECONDS
accel=kvm
# KVM where it works, else emulation.
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then boot 30 -accel kvm -cpu host; fi
if ! grep -q '^velmarin-vm-result ' "$console" 2>/dev/null; then
  started=$SECONDS
  accel=tcg
  boot 120 -accel tcg -cpu max
fi
grep -o 'velmarin-vm: .*\|^    .*' "$console" || true
echo "boot to result: $((SECONDS - started)) s ($accel)"
grep -qx 'velmarin-vm-result 0' "$console" || {
  grep -q '^velmarin-vm-result ' "$console" || tail -n 40 "$console"
  exit 1
}
