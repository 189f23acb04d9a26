#!/usr/bin/env bash
# The link on the kernel's own serial drivers (ctest label uart; docs/uart-guest.md).
#
# Boots Debian's kernel under QEMU with a small initramfs (busybox, telmax-cmd and the shared
# libraries it needs, the USB modules, the checks). The guest's second UART (ttyS1, the 8250
# driver) and a QEMU USB-serial adapter (ttyUSB0, the ftdi_sio driver) are wired to two
# telmax-sim instances on this side through their pseudo-terminals, so the line settings the
# guest's drivers set reach the simulators. The guest runs tests/uart/guest_checks.sh and asks,
# on its console, for the adapter to be pulled out and put back; this side does that through
# the QEMU monitor, then checks what the simulators saw.
#
# Environment: TELMAX_CMD, TELMAX_SIM, UART_PROBE (the built programs), UART_WORK (a folder
# for the initramfs and logs), optionally TELMAX_GUEST_KERNEL (a folder holding
# boot/vmlinuz-* and lib/modules/*, default what scripts/setup unpacks) and
# TELMAX_GUEST_ACCEL=tcg|kvm (default: KVM only when a trial boot with it works).
# Exit status: 0 every check passed, 1 one failed, 77 QEMU, the kernel or busybox missing.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "SKIPPED: uart guest: $*"
  exit 77
}
cmd=${TELMAX_CMD:?TELMAX_CMD names the built telmax-cmd}
sim=${TELMAX_SIM:?TELMAX_SIM names the built telmax-sim}
probe=${UART_PROBE:?UART_PROBE names the built uart_queue_probe}
work=${UART_WORK:-$(mktemp -d)}
kernel_dir=${TELMAX_GUEST_KERNEL:-/var/cache/telmax-guest/current}

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (scripts/setup installs qemu-system-x86)"
busybox=$(command -v busybox || true)
[ -x "$busybox" ] || busybox=/bin/busybox
[ -x "$busybox" ] || skip "busybox is not installed (scripts/setup installs busybox-static)"
vmlinuz=$(ls "$kernel_dir"/boot/vmlinuz-* 2>/dev/null | head -n 1)
[ -r "$vmlinuz" ] || skip "no guest kernel in $kernel_dir (scripts/setup unpacks linux-image-amd64 there)"
usb_modules=$(ls -d "$kernel_dir"/lib/modules/*/kernel/drivers/usb 2>/dev/null | head -n 1)
[ -d "$usb_modules" ] || skip "no USB modules beside the guest kernel in $kernel_dir"

start=$(date +%s%N)
rm -rf "$work"
mkdir -p "$work"
log() { echo "uart: $*"; }

# --- the initramfs ------------------------------------------------------------------------
root=$work/root
mkdir -p "$root"/{bin,usr/bin,modules,proc,sys,dev,tmp,run,root,etc/xdg/VOREX,checks}

# A program and every shared library ldd names for it (the loader among them), at the same paths.
copy_program() {
  local program=$1 to=$2
  cp "$program" "$root$to"
  local lib
  for lib in $(ldd "$program" 2>/dev/null | grep -o '/[^ ]*'); do
    [ -e "$root$lib" ] || { mkdir -p "$root$(dirname "$lib")" && cp -L "$lib" "$root$lib"; }
  done
}
copy_program "$busybox" /bin/busybox
copy_program "$cmd" /usr/bin/telmax-cmd
copy_program "$probe" /usr/bin/uart_queue_probe

# The USB host controller and the FTDI driver with every module they need, dependencies first,
# as each module's own "depends=" names them. Compressed modules are unpacked here: busybox's
# insmod may not read them.
declare -A loaded=()
module_file() {
  find "$usb_modules" -name "$1.ko*" -o -name "${1//-/_}.ko*" | head -n 1
}
add_module() {
  local name=${1//_/-}
  [ -n "${loaded[$name]:-}" ] && return 0
  loaded[$name]=1
  local file dep
  file=$(module_file "$name")
  [ -n "$file" ] || { log "module $name not found under $usb_modules"; return 1; }
  for dep in $(tr '\0' '\n' < <(decompress "$file") | sed -n 's/^depends=//p' | tr ',' ' '); do
    add_module "$dep" || return 1
  done
  local ko
  ko=$(basename "$file")
  ko=${ko%.xz}
  ko=${ko%.zst}
  ko=${ko%.gz}
  decompress "$file" > "$root/modules/$ko"
  echo "$ko" >> "$root/modules/order"
}
decompress() {
  case $1 in
    *.xz) xz -dc "$1" ;;
    *.zst) zstd -dc "$1" ;;
    *.gz) gzip -dc "$1" ;;
    *) cat "$1" ;;
  esac
}
: > "$root/modules/order"
add_module xhci-pci && add_module ftdi_sio || skip "the guest kernel's USB modules cannot be gathered"

cp "$here/guest_init.sh" "$root/init"
cp "$here/guest_checks.sh" "$root/checks/checks.sh"
chmod +x "$root/init"
# A print line of 240 characters, made here so this side can find it on the simulator's paper.
line240=$(for i in $(seq 1 24); do printf 'LINE%02d-48|' "$i"; done)
printf '%s' "$line240" > "$root/checks/line240"
cat > "$root/etc/xdg/VOREX/ports.conf" <<'EOF'
[Ports]
; ttyS0 is this guest's console: kept out of every search
COM1=/dev/guest-console-not-a-port
EOF
(cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null) > "$work/initrd.cpio"
log "initramfs $(($(stat -c %s "$work/initrd.cpio") / 1048576)) MB, kernel $(basename "$vmlinuz"), modules $(tr '\n' ' ' < "$root/modules/order")"

# --- the accelerator ----------------------------------------------------------------------
# /dev/kvm can be there and still hang the guest (nested virtualisation): a trial boot that
# must reach init within a few seconds decides, once per build folder.
accel=${TELMAX_GUEST_ACCEL:-}
kvm_note=$(dirname "$work")/kvm-trial
if [ -z "$accel" ]; then
  accel=tcg
  if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
    if [ -f "$kvm_note" ]; then
      accel=$(cat "$kvm_note")
    else
      trial=$(timeout -k 1 6 "$qemu" -accel kvm -m 256 -nodefaults -display none -no-reboot -kernel "$vmlinuz" \
                -initrd "$work/initrd.cpio" -append "console=ttyS0 quiet panic=-1 uart.trial=1" -serial stdio \
                </dev/null 2>/dev/null | tr -d '\r')
      if grep -q '^@@ALIVE' <<<"$trial"; then accel=kvm; else accel=tcg; fi
      echo "$accel" > "$kvm_note"
      log "trial boot with KVM: $([ "$accel" = kvm ] && echo works || echo 'did not reach init: TCG')"
    fi
  fi
fi

# --- the simulators -----------------------------------------------------------------------
sim_pids=()
qemu_pid=""
monitor_reader=""
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null
  [ -n "$monitor_reader" ] && kill "$monitor_reader" 2>/dev/null
  local p
  # A stopped simulator takes no SIGTERM until it goes on.
  for p in "${sim_pids[@]}"; do kill -CONT "$p" 2>/dev/null; kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT

# start_sim NAME OPTIONS...: a simulator whose pty path ends up in pty_NAME, its process in pid_NAME.
start_sim() {
  local name=$1
  shift
  "$sim" "$@" --log "$work/$name.log" --paper "$work/$name.paper" > "$work/$name.out" 2> "$work/$name.err" &
  sim_pids+=($!)
  printf -v "pid_$name" '%s' "$!"
  local i
  for i in $(seq 1 50); do
    [ -s "$work/$name.out" ] && break
    sleep 0.1
  done
  printf -v "pty_$name" '%s' "$(head -n 1 "$work/$name.out")"
}
start_sim uart --serial UART0001 --line 9600,n,8,1
start_sim usb --serial USB00001
uart_pty=$pty_uart
usb_pty=$pty_usb
[ -n "$uart_pty" ] && [ -n "$usb_pty" ] || { log "a simulator did not start: $(cat "$work"/*.err)"; exit 1; }
log "simulators: $uart_pty (8250 line, module at 9600,n,8,1), $usb_pty (FTDI line, module at 19200,e,8,1)"

# --- the guest ----------------------------------------------------------------------------
mkfifo "$work/console" "$work/monitor.in" "$work/monitor.out"
"$qemu" -accel "$accel" -m 512 -nodefaults -display none -no-reboot \
  -kernel "$vmlinuz" -initrd "$work/initrd.cpio" -append "console=ttyS0 quiet panic=-1" \
  -chardev stdio,id=console -serial chardev:console \
  -chardev serial,id=uartline,path="$uart_pty" -serial chardev:uartline \
  -chardev pipe,id=monitor,path="$work/monitor" -mon chardev=monitor,mode=readline \
  -device qemu-xhci,id=xhci \
  -chardev serial,id=usbline,path="$usb_pty" -device usb-serial,bus=xhci.0,chardev=usbline,id=lead \
  < /dev/null > "$work/console" 2> "$work/qemu.err" &
qemu_pid=$!
exec 7<>"$work/monitor.in"
cat "$work/monitor.out" > "$work/monitor.log" &
monitor_reader=$!
exec 8< "$work/console"
log "guest started ($accel)"

booted=$(date +%s%N)
since() { local ms=$((($(date +%s%N) - booted) / 1000000)); printf '[%3d.%d s]' $((ms / 1000)) $((ms % 1000 / 100)); }
passed=0
failed=0
skipped=0
ended=0
deadline=$(($(date +%s) + 180))
while :; do
  left=$((deadline - $(date +%s)))
  if [ "$left" -le 0 ]; then
    log "the guest did not finish within 180 s"
    failed=$((failed + 1))
    kill "$qemu_pid"
    break
  fi
  IFS= read -r -t "$left" line <&8 || { [ $? -gt 128 ] && continue; break; }
  line=${line%$'\r'}
  case $line in
    @@PASS\ *) passed=$((passed + 1)); echo "ok      $(since) ${line#@@PASS }" ;;
    @@FAIL\ *) failed=$((failed + 1)); echo "FAILED  $(since) ${line#@@FAIL }" ;;
    @@SKIP\ *) skipped=$((skipped + 1)); rest=${line#@@SKIP }; echo "skipped: ${rest#* }" ;;
    @@UNPLUG) echo "device_del lead" >&7; echo "host: adapter pulled out (device_del lead)" ;;
    @@PLUG)
      echo "device_add usb-serial,bus=xhci.0,chardev=usbline,id=lead" >&7
      echo "host: adapter put back (device_add usb-serial ...)" ;;
    "@@STOP uart") kill -STOP "$pid_uart"; echo "host: the 8250 line's simulator stops reading" ;;
    "@@CONT uart") kill -CONT "$pid_uart"; echo "host: the 8250 line's simulator reads again" ;;
    @@END) ended=1 ;;
    *) echo "  | $line" ;;
  esac
done
wait "$qemu_pid" 2>/dev/null
qemu_pid=""
[ "$ended" = 1 ] || { echo "FAILED  the guest did not reach the end of its checks"; failed=$((failed + 1)); }
[ -s "$work/qemu.err" ] && sed 's/^/  qemu: /' "$work/qemu.err"

# --- what the simulators saw --------------------------------------------------------------
host_check() {
  local name=$1 detail=$2
  shift 2
  if "$@"; then
    passed=$((passed + 1)); echo "ok      $name $detail"
  else
    failed=$((failed + 1)); echo "FAILED  $name $detail"
  fi
}
host_check host-8250-line "the guest's 8250 line settings reached the simulator: frames at 4800 refused, at 9600 answered" \
  bash -c "grep -q '\"baud\":4800,\"ok\":false' '$work/uart.log' && grep -q '\"baud\":9600,\"ok\":true' '$work/uart.log'"
host_check host-ftdi-line "the guest's ftdi_sio line settings reached the simulator: answered at 19200, then at 115200" \
  bash -c "grep -q '\"baud\":19200,\"ok\":true' '$work/usb.log' && grep -q '\"baud\":115200,\"ok\":true' '$work/usb.log'"
host_check host-paper-240 "the 240-character line is on the 8250 module's paper, whole, with its line end" \
  grep -qF "$line240"$'\r' "$work/uart.paper"
host_check host-monitor "the monitor took every device_del and device_add" \
  bash -c "! grep -qi 'error' '$work/monitor.log'"

log "stage took $((($(date +%s%N) - start) / 1000000)) ms with $accel"
echo "uart: $passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ] && [ "$passed" -gt 0 ]
