#!/usr/bin/env bash
# Unpacks the files of Debian's kernel (linux-image-amd64) that the guest of tests/uart boots:
# the kernel image and its USB modules, into /var/cache/telmax-guest/<package>_<version>, with
# "current" pointing there. scripts/setup runs it.
#
# The package is downloaded and read, not installed: installing it would give the machine a
# kernel in its boot menu, an initramfs built for it, and udev and a newer systemd besides, for
# two files and a few modules the guest only reads.
#
# Safe to run again: nothing is fetched while the candidate version is unpacked already.
set -euo pipefail

cache=${TELMAX_GUEST_CACHE:-/var/cache/telmax-guest}
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

image_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[^ <>]*\)$/\1/p' | head -n 1
}
package=$(image_package)
if [ -z "$package" ]; then
  $sudo apt-get update -q
  package=$(image_package)
fi
version=$(apt-cache policy "$package" 2>/dev/null | sed -n 's/^ *Candidate: //p')
if [ -z "$package" ] || [ -z "$version" ] || [ "$version" = "(none)" ]; then
  echo "setup: no linux-image-amd64 for this machine: the uart guest stage will be skipped"
  exit 0
fi

target=$cache/${package}_$version
if ls "$target"/boot/vmlinuz-* >/dev/null 2>&1; then
  [ "$(readlink "$cache/current" 2>/dev/null)" = "$target" ] || $sudo ln -sfn "$target" "$cache/current"
  echo "setup: guest kernel $package $version present"
  exit 0
fi

echo "setup: unpacking the guest kernel $package $version into $target"
download=$(mktemp -d)
trap 'rm -rf "$download"' EXIT
chmod a+rwx "$download"   # apt fetches as its own user
if ! (cd "$download" && apt-get download -q "$package=$version" >/dev/null); then
  $sudo apt-get update -q
  (cd "$download" && apt-get download -q "$package=$version" >/dev/null)
fi
deb=$(ls "$download"/*.deb)

$sudo rm -rf "$target.partial"
$sudo mkdir -p "$target.partial"
# Packages before and after the move of /lib under /usr: the one pattern of each that matches.
dpkg-deb --fsys-tarfile "$deb" | tar -t \
  | grep -E '^\./(boot/vmlinuz-|(usr/)?lib/modules/[^/]+/kernel/drivers/usb/).*[^/]$' > "$download/members"
dpkg-deb --fsys-tarfile "$deb" | $sudo tar -x -C "$target.partial" -T "$download/members"
# One layout for the guest stage whichever the package used.
if [ -d "$target.partial/usr/lib/modules" ] && [ ! -d "$target.partial/lib/modules" ]; then
  $sudo mkdir -p "$target.partial/lib"
  $sudo mv "$target.partial/usr/lib/modules" "$target.partial/lib/modules"
fi
$sudo mv "$target.partial" "$target"
$sudo ln -sfn "$target" "$cache/current"
# Earlier versions are no longer booted.
for old in "$cache"/linux-image-*; do
  [ "$old" = "$target" ] || $sudo rm -rf "$old"
done
echo "setup: guest kernel $package $version ready"
