# Sourced by the scripts that run the Windows build under Wine: Wine found (or the script
# skipped), a temporary Wine prefix with its work folder, simulators on ptys mapped as COM
# ports, a virtual X display, and everything ended and removed when the script ends.
#
# Wine's port map: the value COMn of HKLM\Software\Wine\Ports names a Unix device. Wine's mount
# manager turns it into the symlink dosdevices/comn when the prefix's wineserver starts, and
# that symlink is what opening \\.\COMn follows; so the server is restarted after the change.
# An empty value keeps a number free: the mount manager otherwise gives the host's own serial
# devices (/dev/ttyS0, ...) the first free numbers, and the search would reach a real port.

skipped() {
    echo "SKIPPED: $*"
    exit 77
}

# Debian keeps wine64 out of PATH; /usr/bin/wine runs it when the 32-bit half is absent.
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; } || true
[ -n "$wine" ] || skipped "wine64 is not installed (scripts/setup installs it)"
wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || skipped "wineserver is not installed (scripts/setup installs wine)"

work=$(mktemp -d "${TMPDIR:-/tmp}/telmax-wine.XXXXXX")
sim_pids=()
display_pid=
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# No window may open unless a script starts a display of its own; neither the .NET nor the
# HTML engine installer.
unset DISPLAY WAYLAND_DISPLAY

wine_cleanup() {
    local status=$?   # the script's own; the last command here would replace it
    for pid in "${sim_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    # The server writes the registry out as it ends: wait for it before removing the prefix.
    [ -d "$WINEPREFIX" ] && { "$wineserver" -k 2>/dev/null; "$wineserver" -w 2>/dev/null; } || true
    if [ -n "$display_pid" ]; then
        kill "$display_pid" 2>/dev/null || true
        wait "$display_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap wine_cleanup EXIT

# Starts telmax-sim ($sim) with the options given, its output in $work/NAME.out; its pty in sim_pty.
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

# Makes the prefix, then wine_map N=DEVICE ...: COMN names DEVICE, every other port of
# COM1-COM16 names nothing; the server is restarted so that the mount manager reads the map.
wine_prefix() {
    local start=$(date +%s) entry
    "$wine" wineboot --init >/dev/null 2>&1
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        for n in $(seq 16); do printf '"COM%d"=""\r\n' "$n"; done
        for entry in "$@"; do printf '"COM%s"="%s"\r\n' "${entry%%=*}" "${entry#*=}"; done
    } >"$work/ports.reg"
    "$wine" regedit /S "Z:${work//\//\\}\\ports.reg" >/dev/null 2>&1
    "$wineserver" -k
    "$wineserver" -w
    echo "Wine $("$wine" --version 2>/dev/null), prefix made in $(($(date +%s) - start)) s; ports: $*"
}

# A virtual X display for windows (Xvfb), in DISPLAY; skips the script when there is none.
# Start it before the first Wine program: the prefix's desktop keeps the display it was started
# with (none, else), and the windows of every later program go there.
start_display() {
    command -v Xvfb >/dev/null || skipped "Xvfb is not installed (scripts/setup windows installs it)"
    local fifo=$work/display
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$work/xvfb.log" 2>&1 &
    display_pid=$!
    local number
    read -r -t 10 number <"$fifo" || { echo "Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
    export DISPLAY=:$number
}
