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
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

sim=${1:?usage: run_under_wine.sh TELMAX_SIM [WIN_LINK_CHECK_EXE]}
exe=${2:-}

[ -n "$exe" ] && [ -f "$exe" ] || {
    echo "SKIPPED: no Windows build of the link: install g++-mingw-w64-x86-64-posix (scripts/setup) and configure the build again"
    exit 77
}
# Wine, a prefix of its own, the simulators and the port map (wine_prefix.sh).
source "$here/wine_prefix.sh"

# The module the check expects: every value differs from the simulator's defaults. A second
# module, at another speed, for the side-by-side search.
serial=WINE0042 id=07 version=09.87-65 status=P line=5 port=5 missing=99
second_serial=WINE0006 second_line=2 second=6
start_sim sim --serial "$serial" --id "$id" --firmware "$version" --status "$status" --line "$line" \
    --paper "$work/paper.txt"
pty=$sim_pty
start_sim second --serial "$second_serial" --line "$second_line"
second_pty=$sim_pty

wine_prefix "$port=$pty" "$second=$second_pty"

status_code=0
"$wine" "$exe" --port "$port" --missing "$missing" --line "$line" --serial "$serial" --id "$id" \
    --version "$version" --status "$status" --paper "Z:$work/paper.txt" \
    --second "$second" --second-line "$second_line" --second-serial "$second_serial" 2>&1 | tr -d '\r' || status_code=$?
[ -L "$WINEPREFIX/dosdevices/com$port" ] &&
    echo "dosdevices/com$port -> $(readlink "$WINEPREFIX/dosdevices/com$port")"
exit "$status_code"
