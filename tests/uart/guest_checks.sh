# The checks, run by the guest's init under busybox sh. COM2 is /dev/ttyS1 (the 8250 driver) and
# COM5 /dev/ttyUSB0 (ftdi_sio) through the default port table; COM1, the console, is mapped away
# in /etc/xdg/VOREX/ports.conf. Behind COM2 the host runs a module with S/N UART0001 at
# 9600,n,8,1, behind COM5 one with S/N USB00001 at 19200,e,8,1.
#
# Each check shows the commands it runs with their output, then one line for the host:
# "@@PASS name what" or "@@FAIL name what" or "@@SKIP name why". "@@UNPLUG" and "@@PLUG" ask
# the host to pull the USB adapter out and put it back through the QEMU monitor.

CMD=/usr/bin/telmax-cmd
LINE240=$(cat /checks/line240)
UNPLUG_LIMIT_MS=5000   # "within a second or two", with room for a slow emulated machine

now_ms() {
  local u
  u=$(cut -d' ' -f1 /proc/uptime | tr -d . | sed 's/^0*//')
  echo $(( ${u:-0} * 10 ))
}

# Runs telmax-cmd and shows it: the command, stdout, the last lines of stderr (the progress),
# the exit status. Leaves the status in $rc, the output in /tmp/out and /tmp/err.
run() {
  echo "\$ telmax-cmd $*" | cut -c1-160
  "$CMD" "$@" > /tmp/out 2> /tmp/err
  rc=$?
  sed 's/^/    /' /tmp/out | cut -c1-160
  tail -n 4 /tmp/err | sed 's/^/    stderr: /'
  echo "    exit $rc"
}

check() {   # check NAME WHAT CONDITION...
  local name=$1 what=$2
  shift 2
  if "$@"; then echo "@@PASS $name $what"; else echo "@@FAIL $name $what"; fi
}
has() { grep -q -- "$1" "${2:-/tmp/out}"; }
field() { sed -n "s/^  $1 *//p" /tmp/out | tail -n 1; }   # the last verb's result field

# A store of its own in which only the USB adapter can be found (COM1-COM4 name nothing), with
# no remembered port, so a scan goes through the settings on COM5.
usb_only_store() {
  local d
  d=$(mktemp -d)
  mkdir -p "$d/machine/VOREX" "$d/user"
  printf '[Ports]\nCOM1=/dev/none1\nCOM2=/dev/none2\nCOM3=/dev/none3\nCOM4=/dev/none4\n' > "$d/machine/VOREX/ports.conf"
  export XDG_CONFIG_DIRS="$d/machine" XDG_CONFIG_HOME="$d/user"
}
default_store() {
  export XDG_CONFIG_DIRS=/etc/xdg XDG_CONFIG_HOME=/root/.config
}

# Waits up to MS for TEXT in FILE (0) or gives up (1).
wait_text() {
  local text=$1 file=$2 ms=$3 t
  t=$(now_ms)
  while ! grep -q -- "$text" "$file" 2>/dev/null; do
    [ $(( $(now_ms) - t )) -lt "$ms" ] || return 1
    sleep 0.05
  done
}
# Waits up to MS for PATH to exist (yes) or be gone (no).
wait_path() {
  local path=$1 want=$2 ms=$3 t
  t=$(now_ms)
  while :; do
    if [ -e "$path" ]; then [ "$want" = yes ] && return 0; else [ "$want" = no ] && return 0; fi
    [ $(( $(now_ms) - t )) -lt "$ms" ] || return 1
    sleep 0.05
  done
}
# Whether process PID still runs: an ended child stays a zombie until waited for.
running() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)
  [ -n "$state" ] && [ "$state" != Z ]
}
# Waits up to MS for process PID to end; its exit status in $rc (124: still running, killed).
wait_end() {
  local pid=$1 ms=$2 t
  t=$(now_ms)
  while running "$pid"; do
    if [ $(( $(now_ms) - t )) -ge "$ms" ]; then
      kill -9 "$pid"
      wait "$pid"
      rc=124
      return 1
    fi
    sleep 0.05
  done
  wait "$pid"
  rc=$?
}

default_store
mkdir -p /root/.config
wait_path /dev/ttyUSB0 yes 10000
echo "guest: kernel $(uname -r), $(grep -c . /modules/order) modules loaded, ttyUSB0 $( [ -e /dev/ttyUSB0 ] && echo present || echo MISSING), up $(cut -d' ' -f1 /proc/uptime) s"

# --- who is behind each port ---------------------------------------------------------------
run --ports
check ports-identity "COM2 is the 8250, COM5 the FTDI adapter 0403:6001 from the guest's sysfs" \
  sh -c 'grep -q "^COM2 .*/dev/ttyS1 .*free" /tmp/out && grep -A1 "^COM2 " /tmp/out | grep -q "^       8250$" &&
         grep -q "^COM5 .*/dev/ttyUSB0 .*free" /tmp/out &&
         grep -A1 "^COM5 " /tmp/out | grep -q "ftdi_sio  USB 0403:6001  QEMU / QEMU USB SERIAL"'
check ports-unreached "the console's ttyS0, which no COMn reaches, is listed with a ports.conf line" \
  sh -c 'grep -q "^       /dev/ttyS0 .*8250" /tmp/out && grep -q "^       COM16=/dev/ttyS0" /tmp/out'
run --ports --json
check ports-json "--json: one object per port and per unreached device" \
  sh -c 'grep -q "\"driver\":\"ftdi_sio\"" /tmp/out && grep -q "\"vendorId\":\"0403\"" /tmp/out &&
         grep -q "\"productId\":\"6001\"" /tmp/out && grep -q "\"product\":\"QEMU USB SERIAL\"" /tmp/out &&
         grep "\"unmapped\":true" /tmp/out | grep "\"add\":\"COM16=/dev/ttyS0\"" | grep -q "\"device\":\"/dev/ttyS0\"" &&
         [ "$(grep -c "^{.*}$" /tmp/out)" = "$(wc -l < /tmp/out)" ]'

# --- the raw form and the verbs over both drivers ------------------------------------------
run --line 9600,n,8,1 COM2 E00B E00V
check raw-8250 "raw exchanges on COM2 verified" \
  sh -c '[ $0 = 0 ] && [ "$(grep -c "verified (" /tmp/out)" = 2 ] && grep -q "S/N     UART0001" /tmp/out' "$rc"
run COM5 E00B E00V
check raw-ftdi "raw exchanges on COM5 at the default 19200,e,8,1 verified" \
  sh -c '[ $0 = 0 ] && [ "$(grep -c "verified (" /tmp/out)" = 2 ] && grep -q "S/N     USB00001" /tmp/out' "$rc"

run scan --no-lock
check scan-8250 "scan --no-lock finds the module on COM2 at 9600,n,8,1, not the default" \
  test "$rc $(field port) $(field line) $(field serial)" = "0 COM2 9600,n,8,1 UART0001"
run scan status
check status-8250 "status through the remembered port" test "$rc" = 0
run --port COM5 --line 19200,e,8,1 status
check status-ftdi "status on COM5" test "$rc" = 0

run scan set-baud 4800,n,8,1 scan
check set-baud-8250 "set-baud 4800,n,8,1, then the scan finds the module at the new setting" \
  test "$rc $(field port) $(field line)" = "0 COM2 4800,n,8,1"
run scan --no-lock print "$LINE240"
check print-8250-4800 "a 240-character line printed at 4800 baud" \
  sh -c '[ $0 = 0 ] && grep -q "^  line     4800,n,8,1" /tmp/out && grep -q "^print    ok" /tmp/out' "$rc"
run --port COM5 --line 19200,e,8,1 set-baud 115200,e,8,1 scan
check set-baud-ftdi "set-baud 115200,e,8,1 on COM5, then the scan finds the module at the new setting" \
  test "$rc $(field port) $(field line) $(field serial)" = "0 COM5 115200,e,8,1 USB00001"

# --- the output queue on the real drivers ----------------------------------------------------
# The 8250's line status is the UART's own, and its queue can be held full by the host; QEMU's
# FTDI chip never reports its transmitter empty, so there the link waits out its bound: fewer
# tries.
for probe in "8250 /dev/ttyS1 20 temt held" "ftdi /dev/ttyUSB0 4 outq"; do
  set -- $probe
  echo "\$ uart_queue_probe $2 4800,n,8,1 $3 $4 ${5:-}"
  /usr/bin/uart_queue_probe "$2" 4800,n,8,1 "$3" "$4" ${5:-} > /tmp/out 2>&1
  rc=$?
  sed 's/^/    /' /tmp/out
  echo "    exit $rc"
  check "queue-$1" "the link's wait sees what the driver holds; no write returned before its queue was empty" \
    test "$rc" = 0
done

# --- exclusivity, the lock file, low latency ----------------------------------------------------
# While telmax-cmd holds a port: a second process is refused as busy, though the guest runs as
# root (whom TIOCEXCL lets through); the lock file of the old convention names the holder, ten
# characters and a newline; on ftdi_sio the driver has the port at low latency (its sysfs timer
# says 1 ms) and its own timer is back once the port is let go.
for pair in "8250 COM2 4800,n,8,1 ttyS1" "ftdi COM5 115200,e,8,1 ttyUSB0"; do
  set -- $pair
  timer=/sys/bus/usb-serial/devices/$4/latency_timer
  latency_before=$(cat "$timer" 2>/dev/null)
  echo "\$ telmax-cmd --port $2 --line $3 test &    (holds the port)"
  "$CMD" --port "$2" --line "$3" test > /tmp/hold.out 2> /tmp/hold.err &
  holder=$!
  wait_text "line 1 printed" /tmp/hold.out 10000
  lock_held=$(cat "/run/lock/LCK..$4" 2>/dev/null)
  lock_bytes=$(wc -c < "/run/lock/LCK..$4" 2>/dev/null)
  latency_held=$(cat "$timer" 2>/dev/null)
  flags_held=$(/usr/bin/uart_queue_probe --serial-flags "/dev/$4")
  echo "    /run/lock/LCK..$4 while held: '$lock_held' ($lock_bytes bytes); latency timer ${latency_before:--} ms before, ${latency_held:--} ms while held"
  run --port "$2" --line "$3" status
  busy_rc=$rc
  cp /tmp/err /tmp/busy.err
  kill -INT "$holder"
  wait_end "$holder" 10000
  latency_after=$(cat "$timer" 2>/dev/null)
  flags_after=$(/usr/bin/uart_queue_probe --serial-flags "/dev/$4")
  echo "    serial flags while held: $flags_held; after: $flags_after"
  echo "    the holder, stopped with Ctrl+C: exit $rc after $(grep -c printed /tmp/hold.out) lines; lock file $( [ -e "/run/lock/LCK..$4" ] && echo LEFT || echo gone); latency timer ${latency_after:--} ms"
  check "busy-$1" "a second process opening $2 is refused as busy (exit 4) while the first holds it" \
    sh -c '[ $0 = 4 ] && grep -q "busy" /tmp/busy.err && [ $1 = 0 ]' "$busy_rc" "$rc"
  check "lock-$1" "/run/lock/LCK..$4 names the holder while it holds $2, the refused process names it, and it is gone after" \
    sh -c '[ "$(echo $0)" = "$1" ] && [ "$2" = 11 ] && grep -q "telmax-cmd (pid $1) holds the port (its lock file /run/lock/LCK..$3)" /tmp/busy.err && [ ! -e "/run/lock/LCK..$3" ]' \
    "$lock_held" "$holder" "$lock_bytes" "$4"
  if [ "$1" = ftdi ]; then
    check low-latency-ftdi "ftdi_sio has ASYNC_LOW_LATENCY (timer 1 ms) while the port is held, and its own flags and timer ($latency_before ms) back after" \
      sh -c '[ -n "$0" ] && [ "$0" != 1 ] && [ "$1" = 1 ] && [ "$2" = "$0" ] &&
             case "$3" in "low_latency yes"*) true ;; *) false ;; esac && case "$4" in "low_latency no"*) true ;; *) false ;; esac' \
      "$latency_before" "$latency_held" "$latency_after" "$flags_held" "$flags_after"
  fi
done
run --ports
check ports-latency "--ports shows the FTDI lead's latency timer" \
  sh -c 'grep -A1 "^COM5 " /tmp/out | grep -q "latency timer $0 ms"' "$latency_after"

# --- diagnose on the 8250 ------------------------------------------------------------------------
# The UART keeps the kernel's error counts (TIOCGICOUNT): they come with the finding, counted.
run --json diagnose --port COM2
check diagnose-8250 "diagnose finds the module on COM2 at 4800,n,8,1, with the 8250's framing and parity counts" \
  sh -c '[ $0 = 0 ] && grep -q "\"finding\":\"module\"" /tmp/out && grep -q "\"line\":\"4800,n,8,1\"" /tmp/out &&
         grep -q "\"framingErrors\":0" /tmp/out && grep -q "\"parityErrors\":0" /tmp/out' "$rc"

# --- side by side ----------------------------------------------------------------------------
run scan --no-lock --parallel
check scan-parallel "scan --parallel over both: the lowest port that answers, COM2" \
  test "$rc $(field port)" = "0 COM2"
usb_only_store
run scan --no-lock --parallel
check scan-parallel-ftdi "scan --parallel with only the adapter reachable finds COM5" \
  test "$rc $(field port) $(field serial)" = "0 COM5 USB00001"
default_store

# --- a real unplug -----------------------------------------------------------------------------
# unplug NAME STATUS: the verb already started in the background as $busy_pid is running on
# COM5; the adapter is pulled out, the verb must end by itself with exit STATUS (1 an operation
# failed, 3 a scan found no module) and a reason, --ports must show COM5 missing; then the
# adapter is put back.
unplug() {
  local name=$1 status=$2 t0 took
  t0=$(now_ms)
  echo "@@UNPLUG"
  wait_end "$busy_pid" 20000
  took=$(( $(now_ms) - t0 ))
  sed 's/^/    /' /tmp/verb.out | cut -c1-160
  tail -n 3 /tmp/verb.err | sed 's/^/    stderr: /'
  echo "    exit $rc, ${took} ms after the unplug was asked for"
  check "unplug-$name" "$name ends by itself with exit $status and a reason (${took} ms)" \
    sh -c '[ $0 = $3 ] && [ $1 -le $2 ] && grep -q "/dev/ttyUSB0 (ftdi_sio .*) went away during the operation" /tmp/verb.err' \
    "$rc" "$took" "$UNPLUG_LIMIT_MS" "$status"
  wait_path /dev/ttyUSB0 no 5000
  run --ports
  check "unplugged-ports-$name" "--ports shows COM5 missing" sh -c 'grep -q "^COM5 .*/dev/ttyUSB0 .*missing$" /tmp/out'
  echo "@@PLUG"
  wait_path /dev/ttyUSB0 yes 10000
}

usb_only_store
echo "\$ telmax-cmd --port COM5 --line 115200,e,8,1 test &"
"$CMD" --port COM5 --line 115200,e,8,1 test > /tmp/verb.out 2> /tmp/verb.err &
busy_pid=$!
wait_text "line 2 printed" /tmp/verb.out 10000
unplug test 1
run --port COM5 --line 115200,e,8,1 status
check replugged-test "plugged back, the next run finds the module on COM5" test "$rc" = 0

usb_only_store
echo "\$ telmax-cmd scan --no-lock &"
"$CMD" scan --no-lock > /tmp/verb.out 2> /tmp/verb.err &
busy_pid=$!
# COM5's twelve settings take seconds before 115200; the unplug comes while they are tried.
wait_text " : #5" /tmp/verb.err 15000
unplug scan 3
# The store as a scan that found the module on COM5 leaves it: the next scan's first look.
usb_only_store
printf '[General]\nScanCommNo=5\nScanBaudRate="115200,e,8,1"\nScanBaudRateNo=11\n' > "$XDG_CONFIG_DIRS/VOREX/PRINTConfig.conf"
run scan
check replugged-scan "plugged back, the next scan finds the module on COM5" \
  test "$rc $(field port) $(field line) $(field serial)" = "0 COM5 115200,e,8,1 USB00001"
default_store
