#!/usr/bin/env bash
# Builds the Debian package of the release it runs on (Debian 12 or 13),
# build/default/velmarin_<version>~deb<release>_<arch>.deb, from the default build installed
# into build/default/package/debian/velmarin, and checks it with lintian (errors fail).
# Install it with: sudo apt install ./build/default/velmarin_<version>~deb<release>_<arch>.deb
# With --from-build DIR it packages the finished build in DIR instead, without installing,
# configuring or building anything (the desktop virtual machine test does so with its own build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --from-build ]; then
  build=$(realpath "${2:?usage: $0 [--from-build DIR]}")
  [ -x "$build/src/velmarin" ] || { echo "package: no finished build in $build" >&2; exit 1; }
else
  scripts/install-deps.sh
  cmake --preset default >/dev/null
  cmake --build --preset default --target velmarin velmarin_man
  build=$(pwd)/build/default
fi

upstream=$("$build/src/velmarin" --version | sed -n '1s/^velmarin //p')
# The libraries it depends on are this release's, so the version names the release; a package
# for Debian 12 sorts before the one for 13 and both before the plain upstream version.
release=$(. /etc/os-release && echo "${VERSION_ID:?}")
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
version=$upstream~deb$release
arch=$(dpkg --print-architecture)
# The project has no public address yet: example.org stands for it until it is published.
maintainer="The Velmarin developers <velmarin@example.org>"
work=$build/package
root=$work/debian/velmarin
deb=$build/velmarin_${version}_${arch}.deb
# Dated by the last commit, so the same tree gives the same package.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
rm -rf "$work"
mkdir -p "$root/DEBIAN"

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
# The program and its parts, the shared libraries it loads for the commands that need them.
mapfile -t parts < <(find "$root/usr/lib" -path '*/velmarin/*.so' | sort)
binaries=("$root/usr/bin/velmarin" "${parts[@]}")
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${binaries[@]}"
gzip -9n "$root/usr/share/man/man1/velmarin.1"

doc=$root/usr/share/doc/velmarin
mkdir -p "$doc"
{
  cat <<'EOF'
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Velmarin
Comment: Velmarin is under the MIT licence ("Expat" in this format), LICENSE in
 its source. It stamps Japanese text with the IPA fonts, which this package
 does not ship: it depends on the Debian packages fonts-ipafont-mincho and
 fonts-ipafont-gothic, which carry them under the IPA Font License (see their
 own copyright files).

Files: *
Copyright: 2026 The Velmarin developers
License: Expat

Files: media/chimes.wav
Copyright: 2026 The Velmarin developers
License: Expat
Comment: The chime is Velmarin's own: two decaying tones synthesized for it.

Files: dist/icons/*
Copyright: 2026 The Velmarin developers
License: Expat
Comment: The icon is Velmarin's own, drawn for it as SVG and rendered to PNG.

License: Expat
EOF
  # The licence text of LICENSE, below its title and copyright line.
  sed -n '/^Permission/,$p' LICENSE | sed 's/^$/./; s/^/ /'
} >"$doc/copyright"
# Without a public address the AppStream data names no homepage, which AppStream 1.0 reports.
# It is validated here with that one report let pass, so lintian's whole-file check, which
# cannot be told so, is overridden where the validator knows that report.
homepage_override=()
appstreamcli --version | grep -q 'version: 0\.' ||
  homepage_override=(--override=url-homepage-missing=info)
appstreamcli validate-tree --no-net "${homepage_override[@]}" "$root/usr" >/dev/null || {
  appstreamcli validate-tree --no-net "${homepage_override[@]}" "$root/usr" >&2
  exit 1
}
if [ ${#homepage_override[@]} -gt 0 ]; then
  mkdir -p "$root/usr/share/lintian/overrides"
  printf '%s\n' '# No homepage yet; the rest of the data is validated by scripts/package.sh.' \
    'velmarin: appstream-metadata-validation-failed' >"$root/usr/share/lintian/overrides/velmarin"
fi
cat >"$work/changelog" <<EOF
velmarin ($version) $codename; urgency=medium

  * Release $upstream for Debian $release.

 -- $maintainer  $(date -R -u -d "@$SOURCE_DATE_EPOCH")
EOF
gzip -9nc "$work/changelog" >"$doc/changelog.gz"

# Boards plugged in before the installation get the rule's access at once; udev reads the
# new rule by itself for boards plugged in later. The menu, icon and manual caches are
# brought up to date by the file triggers of desktop-file-utils, hicolor-icon-theme and man-db.
cat >"$root/DEBIAN/postinst" <<'EOF'
#!/bin/sh
set -e
if [ "$1" = configure ] && [ -d /run/udev ] && command -v udevadm >/dev/null 2>&1; then
  udevadm control --reload-rules || true
  udevadm trigger --subsystem-match=hidraw --action=change || true
fi
# uinput now, not only from the next boot on; the rule above gives its node to the seat.
if [ "$1" = configure ] && command -v modprobe >/dev/null 2>&1; then
  modprobe uinput 2>/dev/null || true
  if [ -d /run/udev ] && command -v udevadm >/dev/null 2>&1; then
    udevadm trigger --subsystem-match=misc --sysname-match=uinput --action=change || true
  fi
fi
EOF

find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root/usr/bin/velmarin" "$root/DEBIAN/postinst"

# The libraries the program links, as dpkg-shlibdeps finds their packages; it reads the
# package names from a debian/control.
printf 'Source: velmarin\n\nPackage: velmarin\nArchitecture: any\n' >"$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O "${binaries[@]#"$work/"}" | sed -n 's/^shlibs:Depends=//p')

(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
cat >"$root/DEBIAN/control" <<EOF
Package: velmarin
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $shlibs, fonts-ipafont-mincho, fonts-ipafont-gothic, xkb-data, qt6-translations-l10n
Recommends: sound-theme-freedesktop
Section: graphics
Priority: optional
Description: foot switch captures and stamped transfer of still images
 Velmarin runs beside a still-image capture program. It turns a foot switch
 on a USB-IO board or on the modem lines of a serial port into the key stroke
 or click that makes the capture program save a still.
 .
 It takes every new still from the watch folder, fills everything outside the
 configured rectangle, stamps the ID, the date and free text on it and writes
 it as a JPEG into the transfer folder under a templated, collision-free name.
 .
 The package holds the program with its menu entry, udev rules that let the
 user at the seat open the USB-IO boards and /dev/uinput (through which the
 foot switch types on Wayland desktops), the entry that loads the uinput
 module at boot, and a systemd user unit for monitoring without a desktop
 session.
EOF

dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
lintian --fail-on error "$deb" || {
  echo "package: lintian found errors in $deb" >&2
  exit 1
}

# Unpacked into a throwaway root, the program runs and finds its chime there.
throwaway=$(mktemp -d)
trap 'rm -rf "$throwaway"' EXIT
mkdir -p "$throwaway/var/lib/dpkg/info" "$throwaway/var/lib/dpkg/updates"
touch "$throwaway/var/lib/dpkg/status"
dpkg --root="$throwaway" --force-depends --force-not-root --unpack "$deb" >/dev/null
expected="chime: $throwaway/usr/share/velmarin/chimes.wav"
found=$(env -u VELMARIN_DATA_DIR "$throwaway/usr/bin/velmarin" --version | sed -n 2p)
[ "$found" = "$expected" ] || { echo "package: unpacked program says '$found'" >&2; exit 1; }
dpkg --root="$throwaway" -L velmarin | grep -qx /usr/lib/udev/rules.d/70-velmarin-usb-io.rules
# It finds its parts there too: each answers a command that needs nothing set up.
mkdir "$throwaway/program"
said=$("$throwaway/usr/bin/velmarin" --dir "$throwaway/program" --process \
  "$throwaway/none.jpg" "$throwaway/out.jpg" 2>&1 || true)
[[ $said == *'fopen_error! '* ]] || { echo "package: unpacked program edits: '$said'" >&2; exit 1; }
said=$("$throwaway/usr/bin/velmarin" --list-switch-devices 2>&1 || true)
grep -qx NONE <<<"$said" || { echo "package: unpacked program lists: '$said'" >&2; exit 1; }

echo "$deb: $(stat -c %s "$deb") bytes, installed $(du -sk --exclude=DEBIAN "$root" | cut -f1) KiB"
