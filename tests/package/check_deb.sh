#!/usr/bin/env bash
# Catches a package that installs broken: a program, the desktop entry or the icon left out.
# Makes the Debian package from a built tree into a temporary folder and reads it with dpkg-deb;
# installs nothing. Also caught: files outside /usr, a desktop entry whose Exec or Icon names no
# file of the package or that does not validate (or would be listed twice in the menu), Qt and
# the other libraries not computed into Depends, the fonts missing from Depends, and a file
# name other than Debian's package_version_architecture.deb.
# Usage: check_deb.sh CPACK BUILD_DIR VERSION
set -uo pipefail
cpack=$1 build=$2 version=$3

skip() { echo "skipped: $*"; exit 77; }
[ -x "$cpack" ] || skip "cpack not found"
command -v dpkg-deb >/dev/null || skip "dpkg-deb not found"
arch=$(dpkg --print-architecture) || skip "dpkg not found"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The staging folder goes under -B, not into the build tree the other tests use; with Ninja
# cpack only installs what is already built, it never builds.
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  echo "FAIL: cpack did not make the package"
  exit 1
fi

failed=0
fail() { echo "FAIL: $*"; failed=1; }

deb="$out/telmax-config_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  echo "FAIL: no $(basename "$deb"); cpack made:"
  ls "$out"
  exit 1
fi

files=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in ./usr/bin/telmax-config ./usr/bin/telmax-sim ./usr/bin/telmax-cmd \
         ./usr/share/applications/telmax-config.desktop \
         ./usr/share/icons/hicolor/scalable/apps/telmax-config.svg; do
  grep -qxF "$f" <<<"$files" || fail "$f is not in the package"
done
outside=$(grep -v -e '^\./usr/$' -e '^\./usr/bin/' -e '^\./usr/share/' <<<"$files")
[ -z "$outside" ] || fail "files outside /usr/bin and /usr/share: $outside"

desktop=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/applications/telmax-config.desktop 2>/dev/null)
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' <<<"$desktop")
icon_name=$(sed -n 's/^Icon=//p' <<<"$desktop")
grep -qxF "./usr/bin/$exec_name" <<<"$files" || fail "desktop entry Exec=$exec_name is not a program of the package"
grep -qE "^\./usr/share/icons/hicolor/[^/]+/apps/$icon_name\.(svg|png)$" <<<"$files" ||
  fail "desktop entry Icon=$icon_name is not an icon of the package"

if command -v desktop-file-validate >/dev/null; then
  printf '%s\n' "$desktop" >"$out/telmax-config.desktop"
  # Hints count too: two main categories put the program twice in the menu.
  complaints=$(desktop-file-validate "$out/telmax-config.desktop" 2>&1)
  [ -z "$complaints" ] || fail "desktop entry: $complaints"
else
  echo "note: desktop-file-validate not found (desktop-file-utils), desktop entry not validated"
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = telmax-config ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', not $arch"
depends=$(field Depends)
for d in libqt6widgets6 libc6 fonts-noto-cjk fonts-dejavu-core; do
  grep -qE "(^|[ ,|])$d( |,|$)" <<<"$depends" || fail "Depends lacks $d: $depends"
done

if [ "$failed" -ne 0 ]; then
  dpkg-deb -I "$deb"
  exit 1
fi
echo "ok: $(basename "$deb"), Depends: $depends"
