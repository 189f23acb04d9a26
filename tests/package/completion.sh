#!/usr/bin/env bash
# Catches TAB in bash offering telmax-cmd wrong words: a verb or option of --help missing, no
# languages after --lang, no line settings after --line or set-baud, no COMn or device after
# --port, and the completion not found where bash-completion loads it from in a new shell. Also
# a device name taken as shell code: a $(...) or `...` in a name under /dev ran on Tab, and a
# newline in one offered its halves as two words.
# Bash completes each line as it does at a prompt: the function registered for telmax-cmd
# runs with COMP_WORDS and COMP_CWORD set; the built telmax-cmd is first on PATH.
# Usage: completion.sh COMPLETION_FILE TELMAX_CMD
set -uo pipefail
script=$1 cmd=$2

[ -x "$cmd" ] || { echo "FAIL: $cmd is not built"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bc/completions" "$work/bin" "$work/files"
cp "$script" "$work/bc/completions/telmax-cmd"
ln -s "$(realpath "$cmd")" "$work/bin/telmax-cmd"
touch "$work/files/module-a" "$work/files/module-b"
# A /dev of devices whose names anyone who names a device (udev from a USB lead's strings, root's
# mknod) may choose.
mkdir -p "$work/dev/serial/by-id"
touch "$work/dev/ttyUSB0" "$work/dev/ttyUSB9\$(id>PWNED)" "$work/dev/serial/by-id/usb-\`id>PWNED\`-port0" \
      "$work/dev/ttyACM0"$'\n'"COM17"

# Prints the words bash offers for LINE (the cursor at its end), one per line, sorted.
cat >"$work/complete.bash" <<'EOF'
complete_line() {
    local line=$1 rule
    [[ -n ${COMPLETION_DEV-} ]] && _telmax_cmd_dev=$COMPLETION_DEV
    COMP_LINE=$line COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    rule=$(complete -p telmax-cmd 2>/dev/null) || { echo "NO-COMPLETION"; return; }
    [[ $rule =~ -F\ ([^ ]+) ]] || { echo "NO-FUNCTION"; return; }
    COMPREPLY=()
    "${BASH_REMATCH[1]}" telmax-cmd "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
EOF

failed=0
# check MODE LINE EXPECTED...: the words offered are exactly EXPECTED.
check() {
    local mode=$1 line=$2
    shift 2
    local got want
    got=$(run "$mode" "$line")
    want=$(printf '%s\n' "$@" | sort)
    if [ "$got" != "$want" ]; then
        echo "FAIL ($mode): '$line' offers:"
        printf '  %s\n' $got
        echo "  wanted: $*"
        failed=1
    fi
}

# plain: the file sourced by a shell without bash-completion; loader: a new shell with
# bash-completion, which finds the file by the command's name on first use.
run() {
    local mode=$1 line=$2
    (
        cd "$work/files" || exit 1
        export PATH="$work/bin:$PATH" BASH_COMPLETION_USER_DIR="$work/bc"
        if [ "$mode" = plain ]; then
            bash --norc --noprofile -c 'source "$1"; source "$2"; complete_line "$3"' \
                bash "$work/bc/completions/telmax-cmd" "$work/complete.bash" "$line"
        else
            bash --norc --noprofile -c 'source /usr/share/bash-completion/bash_completion
                __load_completion telmax-cmd; source "$1"; complete_line "$2"' \
                bash "$work/complete.bash" "$line"
        fi
    )
}

modes=(plain)
if [ -f /usr/share/bash-completion/bash_completion ]; then
    modes+=(loader)
else
    echo "note: bash-completion is not installed; only the plain shell is tried"
fi

options=$("$cmd" --help | sed -n 's/^  \(--[a-z-]*\).*/\1/p')
[ -n "$options" ] || { echo "FAIL: no options found in telmax-cmd --help"; exit 1; }
settings=(4800,n,8,1 4800,e,8,1 9600,n,8,1 9600,e,8,1 19200,n,8,1 19200,e,8,1
          38400,n,8,1 38400,e,8,1 57600,n,8,1 57600,e,8,1 115200,n,8,1 115200,e,8,1)

for mode in "${modes[@]}"; do
    check "$mode" "telmax-cmd s" scan set-id set-baud status
    check "$mode" "telmax-cmd scan set-id 42 p" print
    check "$mode" "telmax-cmd --" $options
    check "$mode" "telmax-cmd --l" --lang --line --lock
    check "$mode" "telmax-cmd --lang " en gb big5
    check "$mode" "telmax-cmd --json --lang b" big5
    check "$mode" "telmax-cmd --port COM3 --line " "${settings[@]}"
    check "$mode" "telmax-cmd scan set-baud 1152" 115200,n,8,1 115200,e,8,1
    check "$mode" "telmax-cmd --port COM1" COM1 COM10 COM11 COM12 COM13 COM14 COM15 COM16
    check "$mode" "telmax-cmd --port ./mod" ./module-a ./module-b
    check "$mode" "telmax-cmd --trace mod" module-a module-b
    check "$mode" "telmax-cmd CO" COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 COM11 COM12 COM13 COM14 COM15 COM16
    check "$mode" "telmax-cmd scan set-id " # a number of the user's own
    # Device names are offered as they are, never run: the cases of the header's last sentence.
    rm -f "$work/files/PWNED"
    COMPLETION_DEV=$work/dev check "$mode" "telmax-cmd --port " COM{1..16} "$work/dev/ttyUSB0" \
        "$work/dev/ttyUSB9\$(id>PWNED)" "$work/dev/serial/by-id/usb-\`id>PWNED\`-port0"
    [ ! -e "$work/files/PWNED" ] || { echo "FAIL ($mode): TAB ran a command named in a device name"; failed=1; }
    # Every device offered for a bare --port exists on this machine.
    for word in $(run "$mode" "telmax-cmd --port "); do
        case $word in
            COM[0-9]*) ;;
            /dev/*) [ -e "$word" ] || { echo "FAIL ($mode): --port offers $word, which does not exist"; failed=1; } ;;
            *) echo "FAIL ($mode): --port offers $word"; failed=1 ;;
        esac
    done
done

[ "$failed" -eq 0 ] && echo "ok: telmax-cmd completes in ${modes[*]} bash"
exit "$failed"
