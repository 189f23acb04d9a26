#!/usr/bin/env bash
# Catches a purge that leaves the machine-wide settings behind. The package is installed with dpkg
# into a root of its own; the installed telmax-cmd finds the installed telmax-sim with a scan and
# so saves its store there, as root's runs do in /etc/xdg/VOREX; `dpkg --purge` must then take
# PRINTConfig.conf away, and the folder when nothing else is in it, but keep the administrator's
# ports.conf (and with it the folder).
# Needs root, as dpkg does to unpack files as root's; exits 77 otherwise.
# Usage: purge.sh DEB
set -uo pipefail
deb=$1

skip() { echo "SKIPPED: purge: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "not root: dpkg cannot install the package into a root of its own"
command -v dpkg >/dev/null || skip "dpkg not found"

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT

failed=0
fail() { echo "FAIL: purge: $*"; failed=1; }

# dpkg on ROOT, running the package's scripts outside a chroot with DPKG_ROOT set, as Debian's
# tools do when they set up a system in a folder.
dpkg_in() {
  local root=$1
  shift
  dpkg --root="$root" --force-script-chrootless --force-depends --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; return 1; }
}

# Installs into a new ROOT, and saves the store there with a scan: the port map at MAP names
# the simulator COM3 and every other port a device that does not exist.
install_and_save() {
  local root=$1 map=$2 device=""
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  : >"$root/var/lib/dpkg/status"
  dpkg_in "$root" --install "$deb" || { fail "dpkg --install failed"; return 1; }
  "$root/usr/bin/telmax-sim" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    device=$(head -n1 "$work/sim.out" 2>/dev/null)
    [ -n "$device" ] && break
    sleep 0.05
  done
  [ -n "$device" ] || { fail "telmax-sim did not start: $(cat "$work/sim.out")"; return 1; }
  mkdir -p "$(dirname "$map")"
  {
    echo "[Ports]"
    for n in $(seq 16); do
      if [ "$n" -eq 3 ]; then echo "COM3=$device"; else echo "COM$n=$work/no-such-device/tty$n"; fi
    done
  } >"$map"
  XDG_CONFIG_DIRS=$root/etc/xdg XDG_CONFIG_HOME=$work/home "$root/usr/bin/telmax-cmd" scan >"$work/scan.out" 2>&1 ||
    { fail "the scan did not find the simulator: $(cat "$work/scan.out")"; return 1; }
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=""
  [ -f "$root/etc/xdg/VOREX/PRINTConfig.conf" ] ||
    { fail "the scan saved no machine-wide store: $(cat "$work/scan.out")"; return 1; }
}

# The administrator's port map beside the store: the store goes, the map and its folder stay.
root=$work/root-with-map
if install_and_save "$root" "$root/etc/xdg/VOREX/ports.conf"; then
  dpkg_in "$root" --purge telmax-config || fail "dpkg --purge failed"
  [ ! -e "$root/etc/xdg/VOREX/PRINTConfig.conf" ] || fail "PRINTConfig.conf is still there after a purge"
  [ -f "$root/etc/xdg/VOREX/ports.conf" ] || fail "the purge removed the administrator's ports.conf"
fi

# Only the store in the folder: both go.
root=$work/root-store-only
if install_and_save "$root" "$work/home/VOREX/ports.conf"; then
  dpkg_in "$root" --purge telmax-config || fail "dpkg --purge failed"
  [ ! -e "$root/etc/xdg/VOREX" ] || fail "/etc/xdg/VOREX is still there after a purge: $(ls -A "$root/etc/xdg/VOREX")"
fi

[ "$failed" -eq 0 ] && echo "ok: purge removes the machine-wide store and keeps ports.conf"
exit "$failed"
