#!/usr/bin/env bash
# Catches a package that installs broken or that a Debian maintainer's checks reject: a program,
# the desktop entry or the icon left out; a manual page missing or one that man renders with
# warnings, telmax-sim(1) running its log example's lines together, telmax-cmd(1) without its
# TROUBLESHOOTING section; no copyright file or changelog; AppStream metadata that does not
# validate or names a screenshot the repository does not have; any lintian error or warning not
# overridden. Makes the Debian package from a built tree into a temporary folder and reads it
# with dpkg-deb; installs it only into a root of its own (purge.sh). Also caught: files outside
# /usr, a desktop entry whose Exec or Icon names no file of the package or that does not
# validate (or would be listed twice in the menu), Qt and the other libraries not computed into
# Depends, the fonts missing from Depends, a version other than the changelog's latest, a file
# name other than Debian's package_version_arch.deb, a README whose install command names
# another version, the README missing from the package, and a purge that leaves the
# machine-wide settings behind (purge.sh).
# Usage: check_deb.sh CPACK BUILD_DIR UPSTREAM_VERSION SOURCE_DIR
set -uo pipefail
cpack=$1 build=$2 upstream=$3 source=$4

skip() { echo "SKIPPED: package_deb: $*"; exit 77; }
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
notes=()

changelog=$source/package/debian/changelog
version=$(dpkg-parsechangelog -l "$changelog" -S Version 2>/dev/null ||
          sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p' "$changelog")
[ "${version%-*}" = "$upstream" ] ||
  fail "package/debian/changelog's latest entry is $version, not for version $upstream of CMakeLists.txt"

deb="$out/telmax-config_${version}_${arch}.deb"
grep -qF "telmax-config_${version}_" "$source/README.md" ||
  fail "README.md's install command does not name telmax-config_${version}_*.deb"
if [ ! -f "$deb" ]; then
  echo "FAIL: no $(basename "$deb"); cpack made:"
  ls "$out"
  exit 1
fi

files=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in ./usr/bin/telmax-config ./usr/bin/telmax-sim ./usr/bin/telmax-cmd \
         ./usr/share/applications/telmax-config.desktop \
         ./usr/share/icons/hicolor/scalable/apps/telmax-config.svg \
         ./usr/share/man/man1/telmax-config.1.gz ./usr/share/man/man1/telmax-cmd.1.gz \
         ./usr/share/man/man1/telmax-sim.1.gz \
         ./usr/share/doc/telmax-config/copyright ./usr/share/doc/telmax-config/changelog.Debian.gz \
         ./usr/share/doc/telmax-config/README.md.gz \
         ./usr/share/bash-completion/completions/telmax-cmd; do
  grep -qxF "$f" <<<"$files" || fail "$f is not in the package"
done
outside=$(grep -v -e '^\./usr/$' -e '^\./usr/bin/' -e '^\./usr/share/' <<<"$files")
[ -z "$outside" ] || fail "files outside /usr/bin and /usr/share: $outside"

root="$out/root"
dpkg-deb -x "$deb" "$root"

desktop="$root/usr/share/applications/telmax-config.desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
grep -qxF "./usr/bin/$exec_name" <<<"$files" || fail "desktop entry Exec=$exec_name is not a program of the package"
grep -qE "^\./usr/share/icons/hicolor/[^/]+/apps/$icon_name\.(svg|png)$" <<<"$files" ||
  fail "desktop entry Icon=$icon_name is not an icon of the package"
if command -v desktop-file-validate >/dev/null; then
  # Hints count too: two main categories put the program twice in the menu.
  complaints=$(desktop-file-validate "$desktop" 2>&1)
  [ -z "$complaints" ] || fail "desktop entry: $complaints"
else
  notes+=("desktop-file-validate not found (desktop-file-utils): desktop entry not validated")
fi

# Each page as a user's man shows it, in a terminal of the usual width, in UTF-8 and in C.
if command -v man >/dev/null; then
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    for locale in C.UTF-8 C; do
      warnings=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
      [ -z "$warnings" ] || fail "man $(basename "$page") ($locale): $warnings"
    done
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^NAME' ||
      fail "man $(basename "$page") shows no NAME section"
  done
  # The log example of telmax-sim(1) line by line, as in its --help, however wide the terminal.
  sim_page=$(LC_ALL=C.UTF-8 MANWIDTH=250 man -l "$root/usr/share/man/man1/telmax-sim.1.gz" 2>/dev/null)
  grep -q '"dir":"rx"' <<<"$sim_page" || fail "man telmax-sim shows no --log example"
  ! grep -q '"dir":"rx".*"dir":"tx"' <<<"$sim_page" || fail "man telmax-sim runs the --log example's lines together"
  # What the port states of --ports mean, for a technician without the repository.
  LC_ALL=C.UTF-8 man -l "$root/usr/share/man/man1/telmax-cmd.1.gz" 2>/dev/null | grep -q '^TROUBLESHOOTING' ||
    fail "man telmax-cmd has no TROUBLESHOOTING section"
else
  notes+=("man not found: manual pages not rendered")
fi

copyright="$root/usr/share/doc/telmax-config/copyright"
head -n1 "$copyright" | grep -qxF "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
  fail "copyright is not in the machine-readable format"

metainfo=$(ls "$root"/usr/share/metainfo/*.metainfo.xml 2>/dev/null)
if [ "$(wc -w <<<"$metainfo")" -ne 1 ]; then
  fail "not one AppStream metainfo file in /usr/share/metainfo: $metainfo"
else
  launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
  [ -f "$root/usr/share/applications/$launchable" ] ||
    fail "metainfo launches '$launchable', which is not a desktop entry of the package"
  for image in $(sed -n 's|.*<image>\(.*\)</image>.*|\1|p' "$metainfo"); do
    [ -f "$source/docs/images/$(basename "$image")" ] ||
      fail "metainfo shows $image, but docs/images/ has no $(basename "$image")"
  done
  if command -v appstreamcli >/dev/null; then
    report=$(appstreamcli validate --no-net "$metainfo" 2>&1)
    status=$?
    if [ "$status" -ne 0 ] || grep -qE '^[EW]: ' <<<"$report"; then
      fail "appstreamcli validate: $report"
    fi
  else
    notes+=("appstreamcli not found (appstream): metainfo not validated")
  fi
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = telmax-config ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', not $arch"
grep -qE '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' <<<"$(field Maintainer)" ||
  fail "Maintainer is '$(field Maintainer)', not 'Name <address>'"
grep -qE '^https?://' <<<"$(field Homepage)" || fail "Homepage is '$(field Homepage)'"
depends=$(field Depends)
for d in libqt6widgets6 libc6 fonts-noto-cjk fonts-dejavu-core; do
  grep -qE "(^|[ ,|])$d( |,|$)" <<<"$depends" || fail "Depends lacks $d: $depends"
done

if command -v lintian >/dev/null; then
  # Errors and warnings fail; each accepted one is overridden, with its reason, in
  # package/debian/lintian-overrides.
  if ! lintian --fail-on error,warning "$deb" >"$out/lintian.log" 2>&1; then
    grep -v 'running with root privileges' "$out/lintian.log"
    fail "lintian"
  fi
else
  lintian_missing=1
fi

"$(dirname "$0")/purge.sh" "$deb"
case $? in
  0) ;;
  77) notes+=("not root: the purge was not tried") ;;
  *) fail "purge" ;;
esac

if [ "$failed" -ne 0 ]; then
  dpkg-deb -I "$deb"
  exit 1
fi
for n in "${notes[@]}"; do echo "note: $n"; done
echo "ok: $(basename "$deb"), Depends: $depends"
[ -z "${lintian_missing:-}" ] || skip "lintian not found (scripts/setup test installs it): the package is not checked by it"
