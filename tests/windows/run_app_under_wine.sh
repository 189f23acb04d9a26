#!/usr/bin/env bash
# Catches the Windows build failing where Linux works: a DLL or plugin missing from the deploy
# folder, the window not drawn or not driving the module through Qt's windows platform plugin,
# Chinese captions drawn as boxes, settings not reaching the registry, telmax-cmd.exe's verbs or
# JSON broken, its production line (--all, --audit) refused or broken.
# The whole product built for Windows, run under Wine against telmax-sim on a Wine COM port:
# the window on a real (virtual) X display through Qt's windows platform plugin, driven by
# win_window_check.exe from the deploy folder (a folder as a Windows machine gets it, nothing
# else on its DLL path); the registry after its scan; telmax-cmd.exe's verbs, --json and the
# raw form; --all and --audit against two modules. Each check is one line; what Wine cannot show
# is a skip line with the reason.
#
#   run_app_under_wine.sh TELMAX_SIM [DEPLOY_DIR WIN_WINDOW_CHECK_EXE SHOTS_DIR]
#
# Without DEPLOY_DIR (no Qt for Windows when the build was configured) the stage is skipped:
# exit 77, which CTest reports as skipped. SHOTS_DIR receives the window's pictures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

sim=${1:?usage: run_app_under_wine.sh TELMAX_SIM [DEPLOY_DIR WIN_WINDOW_CHECK_EXE SHOTS_DIR]}
deploy=${2:-}
check_exe=${3:-}
shots=${4:-}
if [ -z "$deploy" ]; then
    echo "SKIPPED: the Windows stage needs Qt for Windows: scripts/setup windows builds it once (one to two hours on two cores), then configure again"
    exit 77
fi
[ -d "$deploy" ] && [ -f "$check_exe" ] || { echo "FAIL: the Windows build is missing: $deploy, $check_exe"; exit 1; }

source "$here/wine_prefix.sh"

passed=0 failed=0 skips=0
check() {   # check OK WHAT [DETAIL]
    if [ "$1" = 0 ]; then echo "ok   $2${3:+ [$3]}"; passed=$((passed + 1)); else echo "FAIL $2${3:+ [$3]}"; failed=$((failed + 1)); fi
}
skip() { echo "skip $1: $2"; skips=$((skips + 1)); }
expect() { check "$([ "$2" = "$3" ]; echo $?)" "$1" "$2"; }   # expect WHAT GOT WANT
# The value of NAME under KEY as "TYPE DATA", empty when it is not there.
reg_value() {
    "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; sub(/^ +/, ""); print }'
}
# Runs telmax-cmd.exe under Wine; its output in $work/cmd.out, the status in cmd_status.
cmd() {
    cmd_status=0
    "$wine" "$work/app/telmax-cmd.exe" "$@" >"$work/cmd.out" 2>"$work/cmd.err" || cmd_status=$?
    tr -d '\r' <"$work/cmd.out" >"$work/cmd.txt"
}

start=$(date +%s)
# The display first: the prefix's desktop comes up with the first Wine program and stays on the
# display it found, so every Wine program of the prefix runs with it.
start_display
serial=WINE0042 id=07 version=09.87-65 status=P port=5
start_sim sim --serial "$serial" --id "$id" --firmware "$version" --status "$status" --paper "$work/paper.txt"
first_pty=$sim_pty
# A second module, above the first: every search (the window's too) still finds the first.
serial2=WINE0043 port2=6
start_sim sim2 --serial "$serial2"
wine_prefix "$port=$first_pty" "$port2=$sim_pty"
# Print Text sends GBK (the store's PrintCodePage), whatever Wine's own code page is.
"$wine" reg add 'HKLM\Software\VOREX\PRINTConfig' /v PrintCodePage /t REG_SZ /d 936 /f >/dev/null 2>&1

# The deploy folder as a Windows machine gets it, with the check program beside the window.
cp -r "$deploy" "$work/app"
cp "$check_exe" "$work/app/"

echo "== the window (win_window_check.exe on $DISPLAY)"
window_status=0
"$wine" "$work/app/win_window_check.exe" --port "$port" --serial "$serial" --version "$version" --id "$id" \
    --status-text "Print paper out!" --paper "Z:$work/paper.txt" --shots "Z:$work/shots" 2>&1 | tr -d '\r' ||
    window_status=$?
check "$window_status" "win_window_check.exe: every check of the window passed"

echo "== the registry"
key='HKLM\Software\VOREX\PRINTConfig'
expect "the scan's port, a DWORD" "$(reg_value "$key" ScanCommNo)" "REG_DWORD 0x$port"
expect "the scan's line setting, text" "$(reg_value "$key" ScanBaudRate)" "REG_SZ 19200,e,8,1"
expect "the scan's line setting index, a DWORD" "$(reg_value "$key" ScanBaudRateNo)" "REG_DWORD 0x5"
expect "the language pressed last" "$(reg_value "$key" LanguageFlag)" "REG_SZ ChineseBIG5"
# Qt's registry backend makes the keys it opens; the values are what counts.
user_values=$("$wine" reg query 'HKCU\Software\VOREX\PRINTConfig' 2>/dev/null | tr -d '\r' | grep -c REG_ || true)
expect "no value in the user's hive when the machine's takes the saves" "$user_values" 0
skip "saves falling back to HKEY_CURRENT_USER" \
    "Wine gives every program an administrator's rights, so HKEY_LOCAL_MACHINE always takes them"

echo "== telmax-cmd.exe"
cmd --version
expect "--version" "$(cat "$work/cmd.txt")" "telmax-cmd ${deploy##*telmax-config-}"
# The module now runs at 115200,e,8,1 with ID 23 (the window set them): the remembered setting
# fails, and the search over all twelve finds it and saves where: at 115200,n,8,1 (index 10),
# the first setting at that speed, since a pseudo-terminal carries no parity.
cmd scan --no-lock status print "WINE CMD PRINT"
check "$cmd_status" "scan --no-lock status print" "$(tr '\n' ' ' <"$work/cmd.txt")"
check "$(grep -q "$serial" "$work/cmd.txt"; echo $?)" "scan: the module's S/N"
check "$(grep -q "WINE CMD PRINT" "$work/paper.txt"; echo $?)" "print: the text on the module's paper"
expect "the search's new line setting saved" "$(reg_value "$key" ScanBaudRateNo)" "REG_DWORD 0xa"
cmd --json scan status
check "$cmd_status" "--json scan status"
check "$(python3 -c 'import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
good = len(lines) == 2 and all(l["ok"] for l in lines) and lines[0]["serial"] == sys.argv[2]
sys.exit(0 if good else 1)' "$work/cmd.txt" "$serial"; echo $?)" \
    "--json: one JSON object per verb, each ok, the S/N in the scan's" "$(head -c 200 "$work/cmd.txt")"
cmd scan --no-lock --parallel
check "$cmd_status" "scan --no-lock --parallel: the side-by-side search from threads" \
    "$(tr '\n' ' ' <"$work/cmd.txt")"
cmd --line 115200,e,8,1 "COM$port" E00B
check "$(grep -q "$serial" "$work/cmd.txt"; [ $? = 0 ] && [ "$cmd_status" = 0 ]; echo $?)" "the raw form: COM$port E00B" \
    "$(head -n1 "$work/cmd.txt")"
# A production line on Windows, where --all (each unit in a run of its own) and --audit (whole
# lines appended under a lock) were refused: both modules found, each one's status from a child
# process, and one whole JSON record per unit. The station's name, with a quote, a blank and a
# trailing backslash, proves the children's command lines are quoted as Windows splits them.
station='win "line" 2\'
cmd --all scan --no-lock status --audit "Z:$work/audit.jsonl" --station "$station"
check "$cmd_status" "--all scan --no-lock status --audit: a unit per module, each in a run of its own" \
    "$(tr '\n' ' ' <"$work/cmd.txt" | head -c 300) $(head -c 300 "$work/cmd.err")"
expect "--all: a status block for each module" \
    "$(grep -cE "^COM($port|$port2) +status +ok " "$work/cmd.txt")" 2
check "$(python3 -c 'import json, sys
text = open(sys.argv[1], "rb").read().decode("utf-8")
lines = text.split("\n")
records = [json.loads(l) for l in lines[:-1]]
good = (lines[-1] == "" and "\r" not in text and len(records) == 2 and all(r["schema"] == 1 for r in records)
        and sorted(r["port"] for r in records) == ["COM" + sys.argv[2], "COM" + sys.argv[3]]
        and sorted(r["serial"] for r in records) == sorted(sys.argv[4:6])
        and all(r["station"] == sys.argv[6] and r["ok"] for r in records))
sys.exit(0 if good else 1)' "$work/audit.jsonl" "$port" "$port2" "$serial" "$serial2" "$station"; echo $?)" \
    "--audit: two whole lines, each a JSON record of schema 1 with its port, S/N and station" \
    "$(head -c 400 "$work/audit.jsonl" 2>/dev/null)"
skip "a Ctrl+C passed on to the units of --all as a Ctrl+Break" \
    "Wine 8 sends no CTRL_BREAK_EVENT to a process group (GenerateConsoleCtrlEvent fails, in a terminal's console too)"

if [ -n "$shots" ]; then
    mkdir -p "$shots"
    cp "$work"/shots/*.png "$shots/" 2>/dev/null || true
    echo "the window's pictures: $(ls "$shots" | tr '\n' ' ')"
fi
echo "$passed passed, $failed failed, $skips skipped; $(($(date +%s) - start)) s"
[ "$failed" = 0 ]
