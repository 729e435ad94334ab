#!/usr/bin/env bash
# Installs the Debian packages needed to build, test, benchmark and package Velmarin on
# Debian 12 (bookworm) or Debian 13 (trixie). Idempotent: packages already present are left
# alone.
set -euo pipefail

# Needed on every release. Add new packages here unless their name differs between releases.
packages=(
  build-essential cmake ninja-build pkg-config clang git
  qt6-base-dev libjpeg62-turbo-dev libhidapi-dev libxtst-dev libx11-dev
  libfontconfig-dev libcanberra-dev fonts-ipafont-mincho fonts-ipafont-gothic fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth x11-utils
  imagemagick libjpeg-turbo-progs time hyperfine clang-format clang-tidy
  help2man desktop-file-utils appstream man-db bsdextrautils lintian systemd ccache xz-utils zstd
  libxcb1-dev libxcb-xtest0-dev libevdev-dev libxkbcommon-dev xkb-data libsystemd-dev qemu-system-x86 busybox-static
  qt6-translations-l10n dbus-daemon dbus-bin libglib2.0-bin
  bindfs fuse3 rsync ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  libwayland-dev wayland-protocols kmod debootstrap e2fsprogs procps sway
  dcmtk libdcmtk-dev orthanc libtiff-dev libssl-dev
)

# Names that differ: the sanitizer and libFuzzer runtime of the release's default clang.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
case "$release" in
  bookworm) packages+=(libclang-rt-14-dev) ;;
  trixie) packages+=(libclang-rt-19-dev) ;;
  *)
    echo "install-deps: Debian 12 (bookworm) or 13 (trixie) expected, found '$release'" >&2
    exit 1
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
