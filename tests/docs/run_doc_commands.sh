#!/usr/bin/env bash
# Catches a command in the README or docs/ that no longer works as written (an option renamed,
# a verb's output or exit status changed, a file moved), and a shell block that nobody marked
# either to be run here or as not runnable here, with the reason.
#
# A fenced ```sh block runs when the line before its fence is
#     <!-- doc-test -->
# and is left alone, for the reason given, when that line is
#     <!-- doc-test skip: needs root -->
# Each marked block runs in bash with -e and pipefail, with stdin empty, in a fresh temporary
# folder, within a time limit, against a fresh telmax-sim: a temporary ports.conf names it COM3
# and every other port of the search a device that does not exist (so nothing reaches a real
# serial port), XDG_CONFIG_DIRS and XDG_CONFIG_HOME are temporary folders, and the built
# programs come first on PATH. Whatever a block leaves running is ended with it.
# DOC_TEST_VERBOSE=1 shows what each block printed; DOC_TEST_SECONDS is its time limit (60).
# Usage: run_doc_commands.sh SOURCE_DIR BIN_DIR... [-- FILE.md...]
set -uo pipefail

source_dir=$1
shift
bin_dirs=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do bin_dirs+=("$(realpath "$1")"); shift; done
[ "${1:-}" = -- ] && shift
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  files=("$source_dir/README.md")
  for f in "$source_dir"/docs/*.md; do [ -e "$f" ] && files+=("$f"); done
fi

path=$(IFS=:; echo "${bin_dirs[*]}"):$PATH
command -v telmax-sim >/dev/null || PATH=$path command -v telmax-sim >/dev/null ||
  { echo "FAIL: telmax-sim is not built"; exit 1; }
limit=${DOC_TEST_SECONDS:-60}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Splits FILE into its marked blocks: block-N.sh, and block-N.where ("file:line run|skip ...").
extract() {
  awk -v out="$work/blocks" -v file="$1" '
    /^[ \t]*<!-- doc-test( skip:[^>]*)? -->[ \t]*$/ { marker = $0; marker_line = NR; next }
    /^[ \t]*```/ && !in_block {
      lang = $0; sub(/^[ \t]*```/, "", lang); sub(/[ \t].*$/, "", lang)
      in_block = 1; run = 0; n++
      if (lang == "sh" || lang == "bash" || lang == "shell") {
        if (marker_line == NR - 1 && marker ~ /skip:/) {
          reason = marker; sub(/.*skip:[ \t]*/, "", reason); sub(/[ \t]*-->.*/, "", reason)
          printf "%s:%d skip %s\n", file, NR, reason > (out "-" n ".where")
        } else if (marker_line == NR - 1) {
          printf "%s:%d run\n", file, NR > (out "-" n ".where"); run = 1
        } else {
          printf "%s:%d unmarked\n", file, NR > (out "-" n ".where")
        }
      }
      next
    }
    /^[ \t]*```/ && in_block { in_block = 0; next }
    in_block && run { print > (out "-" n ".sh") }
    { if (NR != marker_line) marker_line = -1 }
  ' "$1"
}

# Starts telmax-sim for one block and writes the port map and stores it sees.
prepare() {
  local dir=$1 device
  mkdir -p "$dir/xdg/VOREX" "$dir/home/.config" "$dir/work"
  telmax-sim --log "$dir/sim-log.jsonl" --paper "$dir/paper.txt" >"$dir/sim.out" 2>&1 &
  echo $! >"$dir/sim.pid"
  for _ in $(seq 100); do
    device=$(head -n1 "$dir/sim.out" 2>/dev/null)
    [ -n "$device" ] && break
    sleep 0.05
  done
  [ -n "$device" ] || { echo "the simulator did not start: $(cat "$dir/sim.out")"; return 1; }
  {
    echo "[Ports]"
    for n in $(seq 16); do
      if [ "$n" -eq 3 ]; then echo "COM3=$device"; else echo "COM$n=$dir/no-such-device/tty$n"; fi
    done
  } >"$dir/xdg/VOREX/ports.conf"
}

failed=0 ran=0 skipped=0
for file in "${files[@]}"; do
  rm -f "$work"/blocks-*
  extract "$file"
  for where in $(ls "$work"/blocks-*.where 2>/dev/null | sort -t- -k2 -n); do
    read -r location kind reason <"$where"
    location=${location#"$source_dir"/}
    case $kind in
      skip)
        if [ -z "$reason" ]; then
          echo "FAIL: $location: a skipped block needs its reason: <!-- doc-test skip: REASON -->"
          failed=1
        else
          skipped=$((skipped + 1))
        fi
        continue ;;
      unmarked)
        echo "FAIL: $location: shell block without <!-- doc-test --> or <!-- doc-test skip: REASON --> before it"
        failed=1
        continue ;;
    esac
    block=${where%.where}.sh
    dir="$work/run-$ran"
    ran=$((ran + 1))
    export PATH=$path
    if ! prepare "$dir"; then
      echo "FAIL: $location: cannot start the simulator"
      failed=1
      continue
    fi
    # A session of its own, whose id is the runner's process id (setsid does not fork in a
    # background subshell, which leads no process group), so that whatever the block starts
    # ends with it.
    (
      cd "$dir/work" &&
      XDG_CONFIG_DIRS="$dir/xdg" XDG_CONFIG_HOME="$dir/home/.config" HOME="$dir/home" \
        exec setsid timeout -k 5 "$limit" bash -e -o pipefail "$block" </dev/null >"$dir/output" 2>&1
    ) &
    runner=$!
    wait "$runner"
    status=$?
    [ "$runner" -gt 1 ] && pkill -TERM -s "$runner" 2>/dev/null
    kill "$(cat "$dir/sim.pid")" 2>/dev/null
    wait "$(cat "$dir/sim.pid")" 2>/dev/null
    if [ "$status" -ne 0 ]; then
      echo "FAIL: $location: exit status $status$([ "$status" -eq 124 ] && echo " (over ${limit} s)")"
      sed 's/^/    | /' "$block"
      echo "    output:"
      sed 's/^/    > /' "$dir/output"
      failed=1
    else
      echo "ok: $location"
      [ -z "${DOC_TEST_VERBOSE:-}" ] || sed 's/^/    > /' "$dir/output"
    fi
  done
done

echo "$ran blocks run, $skipped marked as not runnable here"
exit "$failed"
