#!/bin/busybox sh
# /init of the guest (tests/uart/run_guest.sh builds the initramfs): the file systems, the USB
# modules in the order the host worked out, then the checks; the guest powers off at the end.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin HOME=/root
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
# The serial-line locks' folder, anyone's to write in, as on Debian.
mount -t tmpfs tmpfs /run
mkdir -p /run/lock
chmod 1777 /run/lock

# A trial boot only shows that the guest gets this far.
if grep -q 'uart.trial=1' /proc/cmdline; then
  echo "@@ALIVE"
  poweroff -f
fi

while read -r module; do
  insmod "/modules/$module" || echo "@@FAIL modules insmod $module"
done < /modules/order
# Kernel messages (an unplugged adapter's URB errors) stay off the console the host reads.
echo 1 > /proc/sys/kernel/printk

. /checks/checks.sh

echo "@@END"
poweroff -f
