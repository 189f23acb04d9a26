#!/usr/bin/env bash
# bench-exchange and bench-scan built for Windows (the preset "mingw"), run under Wine against
# telmax-sim on Wine COM ports, in a Wine prefix of its own:
#   bench-exchange.exe 3 4: a module at COM3 and a silent one at COM4, with the 1 ms timer the
#                           programs hold, then with the system's default tick;
#   bench-scan.exe K-LOCKED K-UNLOCKED: sixteen silent modules at COM1-COM16, one at COM17.
#
#   bench/under_wine.sh BUILD_WIN TELMAX_SIM [K-LOCKED K-UNLOCKED]     (default 16 16)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: bench/under_wine.sh BUILD_WIN TELMAX_SIM [K-LOCKED K-UNLOCKED]}
sim=${2:?usage: bench/under_wine.sh BUILD_WIN TELMAX_SIM [K-LOCKED K-UNLOCKED]}
locked=${3:-16} unlocked=${4:-16}
deploy=$(ls -d "$build"/deploy/telmax-config-*/ 2>/dev/null | head -n1)
[ -n "$deploy" ] || { echo "no deploy folder in $build: cmake --build $build --target deploy bench-exchange bench-scan"; exit 2; }

source "$here/../tests/windows/wine_prefix.sh"

# The benchmarks beside the DLLs they need.
cp -r "$deploy" "$work/app"
cp "$build/bench/bench-exchange.exe" "$build/bench/bench-scan.exe" "$work/app/"

ports=()
start_sim answering
ports+=("3=$sim_pty")
start_sim quiet --silent
ports+=("4=$sim_pty")
wine_prefix "${ports[@]}"
# Wine's own messages (and its server's, which inherits them) go to a file, not among the figures.
"$wine" "$work/app/bench-exchange.exe" 3 4 2>>"$work/wine.err" | tr -d '\r'
"$wine" "$work/app/bench-exchange.exe" 3 4 200 default-tick 2>>"$work/wine.err" | tr -d '\r'

ports=()
for n in $(seq 16); do
    start_sim "silent$n" --silent
    ports+=("$n=$sim_pty")
done
start_sim module
ports+=("17=$sim_pty")
wine_prefix "${ports[@]}" >/dev/null
"$wine" "$work/app/bench-scan.exe" "$locked" "$unlocked" 2>>"$work/wine.err" | tr -d '\r'
