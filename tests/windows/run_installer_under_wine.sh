#!/usr/bin/env bash
# Catches an installer that leaves files, its Start-menu entry or its Add/Remove Programs entry
# behind, removes the saved settings, or installs programs that do not start.
# The Windows installer under Wine, in a prefix of its own: installed silently (/S), the
# installed telmax-cmd.exe and the window started, then uninstalled silently; afterwards no
# file it installed, no Start-menu entry and no Add/Remove Programs entry may be left, while
# the settings the programs saved stay in the registry.
#
#   run_installer_under_wine.sh SETUP_EXE VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=${1:?usage: run_installer_under_wine.sh SETUP_EXE VERSION}
version=${2:?usage: run_installer_under_wine.sh SETUP_EXE VERSION}
[ -f "$setup" ] || { echo "FAIL: no installer $setup"; exit 1; }

source "$here/wine_prefix.sh"

passed=0 failed=0
check() {   # check OK WHAT [DETAIL]
    if [ "$1" = 0 ]; then echo "ok   $2${3:+ [$3]}"; passed=$((passed + 1)); else echo "FAIL $2${3:+ [$3]}"; failed=$((failed + 1)); fi
}
# Every file of the prefix's drive C but Wine's own folder and the temporary files.
files() {
    (cd "$WINEPREFIX/drive_c" && find . \( -type f -o -type l \) ! -path './windows/*' ! -path '*/Temp/*' | sort)
}

start=$(date +%s)
# The display first: the prefix's desktop comes up with the first Wine program and stays on the
# display it found.
start_display
wine_prefix
name="VOREX TELMAX-3Q Module Config"
dir="$WINEPREFIX/drive_c/Program Files/$name"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$name.lnk"
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TELMAX-3Q Module Config"
files >"$work/before"

"$wine" "$setup" /S
"$wineserver" -w
check "$([ -f "$dir/telmax-config.exe" ] && [ -f "$dir/telmax-cmd.exe" ] && [ -f "$dir/platforms/qwindows.dll" ]; echo $?)" \
    "installed under Program Files" "$(ls "$dir" 2>/dev/null | tr '\n' ' ')"
check "$([ -f "$menu" ]; echo $?)" "the Start-menu entry \"$name\""
shown=$("$wine" reg query "$uninstall_key" /v DisplayName 2>/dev/null | tr -d '\r' | grep -c "$name" || true)
check "$([ "$shown" = 1 ]; echo $?)" "listed in Add/Remove Programs"
installed=$(comm -13 "$work/before" <(files) | wc -l)

version_out=$("$wine" "C:\\Program Files\\$name\\telmax-cmd.exe" --version 2>&1 | tr -d '\r' || true)
check "$([ "$version_out" = "telmax-cmd $version" ]; echo $?)" "the installed telmax-cmd.exe runs" "$version_out"

# The window, briefly: it must come up on the display with its title and stay up; then the
# prefix's programs are ended (the window itself closes only through its Exit button).
"$wine" "C:\\Program Files\\$name\\telmax-config.exe" >"$work/window.out" 2>&1 &
window_pid=$!
disown "$window_pid"   # ended with the prefix's programs below, not reported as a job
title=
for _ in $(seq 60); do
    title=$(xwininfo -root -tree 2>/dev/null | grep -o '"VOREX TELMAX-3Q Module Config V[^"]*"' | head -n1 || true)
    [ -n "$title" ] && break
    sleep 0.5
done
check "$([ -n "$title" ]; echo $?)" "the installed window comes up on the display" "$title"
sleep 2
check "$(kill -0 "$window_pid" 2>/dev/null; echo $?)" "... and stays up" "$(head -c 300 "$work/window.out")"
"$wineserver" -k
"$wineserver" -w

# A setting the window saved, which the uninstaller must leave.
"$wine" reg add 'HKLM\Software\VOREX\PRINTConfig' /v LanguageFlag /t REG_SZ /d ChineseGB /f >/dev/null 2>&1
"$wine" "C:\\Program Files\\$name\\uninstall.exe" /S
"$wineserver" -w   # the uninstaller runs on from a copy of itself: wait for every process
left=$(comm -13 "$work/before" <(files))
check "$([ -z "$left" ]; echo $?)" "uninstalled: none of the $installed files it installed is left" "$(echo "$left" | head -n 5 | tr '\n' ' ')"
check "$([ ! -e "$dir" ]; echo $?)" "the installation folder is gone"
check "$([ ! -e "$menu" ]; echo $?)" "the Start-menu entry is gone"
check "$("$wine" reg query "$uninstall_key" >/dev/null 2>&1; [ $? -ne 0 ]; echo $?)" "gone from Add/Remove Programs"
check "$("$wine" reg query 'HKLM\Software\VOREX\PRINTConfig' /v LanguageFlag 2>/dev/null | grep -q ChineseGB; echo $?)" \
    "the saved settings stay in the registry"

echo "installer $(du -h "$setup" | cut -f1); $passed passed, $failed failed; $(($(date +%s) - start)) s"
[ "$failed" = 0 ]
