#!/usr/bin/env python3
"""Ends each program by a signal while it holds the simulator's pty, and prints how long it
took to end and whether the port was left as it was before the program opened it.

    bench/end_by_signal.py build-release

The window is the real start-up driven by tests/app/tst_signal_restore --as-program (a scan,
then the continuous print test); telmax-cmd is the real program."""
import fcntl, json, os, signal, struct, subprocess, sys, tempfile, termios, time

TIOCGEXCL = 0x80045440
build = sys.argv[1]


def run(label, argv, sig, awaited, sim_options=()):
    folder = tempfile.mkdtemp()
    log = folder + "/sim.log"
    sim = subprocess.Popen([build + "/sim/telmax-sim", "--log", log, *sim_options], stdout=subprocess.PIPE, text=True)
    device = sim.stdout.readline().strip()
    os.makedirs(folder + "/etc/VOREX")
    with open(folder + "/etc/VOREX/ports.conf", "w") as f:
        f.write(f"[Ports]\nCOM3={device}\n")
    with open(folder + "/etc/VOREX/PRINTConfig.conf", "w") as f:
        f.write('[General]\nScanCommNo=3\nScanBaudRateNo=5\nScanBaudRate="19200,e,8,1"\n')
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    before = termios.tcgetattr(fd)
    env = dict(os.environ, XDG_CONFIG_DIRS=folder + "/etc", XDG_CONFIG_HOME=folder + "/home",
               QT_QPA_PLATFORM="offscreen")
    program = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(3000):   # until the program is exchanging frames on the port
        with open(log) as f:
            if any(json.loads(line).get("text") == awaited for line in f if line.strip()):
                break
        time.sleep(0.005)
    start = time.monotonic()
    program.send_signal(sig)
    program.wait()
    ms = 1000 * (time.monotonic() - start)
    exclusive = struct.unpack("i", fcntl.ioctl(fd, TIOCGEXCL, b"\0" * 4))[0]
    same = termios.tcgetattr(fd) == before
    print(f"{label:44s} {signal.Signals(sig).name:7s} ended after {ms:6.1f} ms;"
          f" termios as before: {same}; TIOCGEXCL {exclusive}")
    os.close(fd)
    sim.terminate()
    sim.wait()


window = [build + "/tests/app/tst_signal_restore", "--as-program"]
test_line = "E00GVOREX PRINT TEST."
for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    run("telmax-config, in the continuous test", window, sig, test_line)
run("telmax-cmd, silent module, E00B x100", [build + "/tools/telmax-cmd", "COM3"] + ["E00B"] * 100,
    signal.SIGTERM, "E00B", ["--silent"])
run("telmax-cmd scan test (Ctrl+C ends the pass)", [build + "/tools/telmax-cmd", "scan", "test"],
    signal.SIGINT, test_line)
