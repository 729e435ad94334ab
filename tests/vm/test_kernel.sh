#!/usr/bin/env bash
# Makes ready the kernel the virtual machine tests boot: Debian's own, from the running
# release's linux-image-amd64, with the modules the tests load.
#   test_kernel.sh FALLBACK_CACHE_DIR
# Prints the folder that holds it: "kernel" (unpacked to its ELF form, which QEMU starts
# directly, seconds faster than the compressed vmlinuz; the vmlinuz itself where it cannot be
# unpacked), "version", and "modules/lib/modules/VERSION" with the modules below (unpacked) and
# their modules.dep. The package is downloaded once; the folder is /var/cache/velmarin-test-kernel,
# or FALLBACK_CACHE_DIR where that cannot be written (an ordinary user). Made again when the
# release names another kernel package or the list of modules grows.
# Exits 77 (skipped) with the reason when the kernel package cannot be had.
set -euo pipefail

# The modules the tests load, with what they depend on: the uinput devices and their event
# nodes, the virtio disk, GPU, keyboard and mouse, the root file system, HID devices made
# through uhid.
modules=(evdev uinput virtio_pci virtio_blk virtio-gpu virtio_input ext4 uhid hid-generic)

cache=/var/cache/velmarin-test-kernel
mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] || cache=$1
mkdir -p "$cache"
skip() { echo "SKIPPED: $*" >&2; exit 77; }
command -v depmod >/dev/null && command -v modprobe >/dev/null ||
  skip "depmod and modprobe are not installed (scripts/install-deps.sh installs kmod)"

exec 9>"$cache/lock"
flock 9
package=$(apt-cache depends linux-image-amd64 2>/dev/null |
          sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n1)
made_for="$package ${modules[*]}"
if [ -f "$cache/made" ] && { [ -z "$package" ] || [ "$(cat "$cache/made")" = "$made_for" ]; }; then
  echo "$cache"
  exit 0
fi
[ -n "$package" ] || skip "apt knows no linux-image-amd64 package"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -qq "$package" >/dev/null 2>&1) || skip "$package cannot be downloaded"
mkdir "$work/unpacked"
dpkg-deb --fsys-tarfile "$work/$package"_*.deb |
  tar -x -C "$work/unpacked" --wildcards './boot/vmlinuz-*' '*/modules/*'
# Debian 12 keeps the modules in /lib, Debian 13 in /usr/lib.
tree=$(dirname "$(find "$work/unpacked" -maxdepth 3 -type d -name modules -path '*/lib/*' | head -n1)")
tree=${tree%/lib}
version=$(ls "$tree/lib/modules")
depmod -b "$tree" "$version"

rm -rf "$cache"/{made,modules,kernel,vmlinuz,evdev.ko,uinput.ko}
for module in "${modules[@]}"; do
  modprobe -d "$tree" -S "$version" --show-depends "$module" | sed -n 's/^insmod \([^ ]*\).*/\1/p'
done | sort -u | while read -r file; do
  target=$cache/modules/lib/modules/$version/${file#"$tree/lib/modules/$version/"}
  mkdir -p "$(dirname "$target")"
  case $file in
    *.xz) xz -dc "$file" >"${target%.xz}" ;;
    *.zst) zstd -qdc "$file" >"${target%.zst}" ;;
    *) cp "$file" "$target" ;;
  esac
done
cp "$tree/lib/modules/$version"/modules.{order,builtin,builtin.modinfo} \
  "$cache/modules/lib/modules/$version/"
depmod -b "$cache/modules" "$version"

# The ELF kernel inside the compressed image, found by its compression's magic bytes (as the
# kernel's own scripts/extract-vmlinux does).
vmlinuz=$(echo "$work"/unpacked/boot/vmlinuz-*)
for magic in '\xfd7zXZ\x00:xz -dc' '\x1f\x8b\x08:gzip -dc' '\x28\xb5\x2f\xfd:zstd -qdc'; do
  for offset in $(LC_ALL=C grep -obUaP "${magic%%:*}" "$vmlinuz" | cut -d: -f1 | head -n 3); do
    tail -c +$((offset + 1)) "$vmlinuz" | ${magic#*:} >"$work/vmlinux" 2>/dev/null || true
    if [ "$(head -c 4 "$work/vmlinux" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
      mv "$work/vmlinux" "$cache/kernel"
      break 2
    fi
  done
done
[ -f "$cache/kernel" ] || cp "$vmlinuz" "$cache/kernel"
echo "$version" >"$cache/version"
echo "$made_for" >"$cache/made"
echo "$cache"
