#!/usr/bin/env python3
"""How long one exchange lasts against a device that never stops sending (a scale, a GPS, a
terminal on the wrong port): CR-terminated text, back to back, on a pseudo-terminal.

    bench/streaming_device.py build-release/tools/telmax-cmd

The link ends such an exchange after the 120 ms window plus the time a full 1024-byte buffer
takes at the line speed (about 0.7 s at 19200 baud, 2.5 s at 4800)."""
import os, pty, subprocess, sys, threading, time, tty

master, slave = pty.openpty()
tty.setraw(slave)
device = os.ttyname(slave)
running = True

def feed():
    while running:
        try:
            os.write(master, b"W   12.5 kg\r")
        except OSError:
            time.sleep(0.01)

def drain():   # the frames the program writes
    while running:
        try:
            os.read(master, 4096)
        except OSError:
            time.sleep(0.01)

for work in (feed, drain):
    threading.Thread(target=work, daemon=True).start()
for settings in ("19200,e,8,1", "4800,e,8,1"):
    start = time.monotonic()
    r = subprocess.run([sys.argv[1], "--line", settings, device, "E00B"], capture_output=True)
    print(f"telmax-cmd --line {settings} PTY E00B: exit {r.returncode} after {1000 * (time.monotonic() - start):.0f} ms")
running = False
