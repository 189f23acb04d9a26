#!/usr/bin/env bash
# Runs win_link_check.exe, the link layer cross-built for Windows with mingw-w64, under Wine
# against telmax-sim. It proves the Win32 serial backend and the link above it on a Windows
# build: the simulator's pseudo-terminal is made COMn through Wine's port map, in a Wine
# prefix of its own that is removed afterwards.
#
#   run_under_wine.sh TELMAX_SIM [WIN_LINK_CHECK_EXE]
#
# Exit status: the check's (0 when no check failed); 77, reported by CTest as skipped, when
# the Windows build is missing (no mingw-w64 when the build was configured) or Wine is.
#
# Wine's port map: the value COMn of HKLM\Software\Wine\Ports names a Unix device. Wine's
# mount manager turns it into the symlink dosdevices/comn when the prefix's wineserver
# starts, and that symlink is what opening \\.\COMn follows; so the server is restarted
# after the registry change, before the check runs.
set -euo pipefail

sim=${1:?usage: run_under_wine.sh TELMAX_SIM [WIN_LINK_CHECK_EXE]}
exe=${2:-}

skipped() {
    echo "SKIPPED: $*"
    exit 77
}

[ -n "$exe" ] && [ -f "$exe" ] ||
    skipped "no Windows build of the link: install g++-mingw-w64-x86-64-posix (scripts/setup) and configure the build again"
# Debian keeps wine64 out of PATH; /usr/bin/wine runs it when the 32-bit half is absent.
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; } || true
[ -n "$wine" ] || skipped "wine64 is not installed (scripts/setup installs it)"
wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || skipped "wineserver is not installed (scripts/setup installs wine)"

work=$(mktemp -d "${TMPDIR:-/tmp}/telmax-wine.XXXXXX")
sim_pids=()
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# No window may open: no display, and neither the .NET nor the HTML engine installer.
unset DISPLAY WAYLAND_DISPLAY

cleanup() {
    local status=$?   # the script's own; the last command here would replace it
    for pid in "${sim_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    # The server writes the registry out as it ends: wait for it before removing the prefix.
    [ -d "$WINEPREFIX" ] && { "$wineserver" -k 2>/dev/null; "$wineserver" -w 2>/dev/null; } || true
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

# Starts telmax-sim with the options given, its output in $work/NAME.out; its pty in sim_pty.
start_sim() {
    local name=$1
    shift
    "$sim" "$@" --log "$work/$name.log" >"$work/$name.out" 2>&1 &
    sim_pids+=($!)
    for _ in $(seq 100); do
        [ -s "$work/$name.out" ] && break
        sleep 0.05
    done
    sim_pty=$(head -n1 "$work/$name.out")
    [ -c "$sim_pty" ] || { echo "telmax-sim did not start: $(cat "$work/$name.out")"; exit 1; }
}

# The module the check expects: every value differs from the simulator's defaults. A second
# module, at another speed, for the side-by-side search.
serial=WINE0042 id=07 version=09.87-65 status=P line=5 port=5 missing=99
second_serial=WINE0006 second_line=2 second=6
start_sim sim --serial "$serial" --id "$id" --firmware "$version" --status "$status" --line "$line" \
    --paper "$work/paper.txt"
pty=$sim_pty
start_sim second --serial "$second_serial" --line "$second_line"
second_pty=$sim_pty

start=$(date +%s)
"$wine" wineboot --init >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /t REG_SZ /d "$pty" /f >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$second" /t REG_SZ /d "$second_pty" /f >/dev/null 2>&1
"$wineserver" -k
"$wineserver" -w
echo "Wine $("$wine" --version 2>/dev/null), prefix made in $(($(date +%s) - start)) s; COM$port = $pty, COM$second = $second_pty"

status_code=0
"$wine" "$exe" --port "$port" --missing "$missing" --line "$line" --serial "$serial" --id "$id" \
    --version "$version" --status "$status" --paper "Z:$work/paper.txt" \
    --second "$second" --second-line "$second_line" --second-serial "$second_serial" 2>&1 | tr -d '\r' || status_code=$?
[ -L "$WINEPREFIX/dosdevices/com$port" ] &&
    echo "dosdevices/com$port -> $(readlink "$WINEPREFIX/dosdevices/com$port")"
exit "$status_code"
