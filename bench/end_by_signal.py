#!/usr/bin/env python3
"""Ends each program by a signal while it holds the simulator's pty, and prints how long it
took to end and whether the port was left as it was before the program opened it.

    bench/end_by_signal.py build-release [ROUNDS]

The window is the real start-up driven by tests/app/tst_signal_restore --as-program (a scan,
then the continuous print test); telmax-cmd is the real program. Then telmax-cmd scan --parallel
over sixteen silent ptys is ended ROUNDS times (default 100) by each of SIGINT and SIGTERM at a
random moment of its first 0.4 s, while its threads open and close ports, and the ports left
changed are counted."""
import fcntl, json, os, pty, random, signal, struct, subprocess, sys, tempfile, termios, time

TIOCGEXCL = 0x80045440
build = sys.argv[1]
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 100


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


def side_by_side_rounds(sig):
    folder = tempfile.mkdtemp()
    pairs = [pty.openpty() for _ in range(16)]
    os.makedirs(folder + "/etc/VOREX")
    with open(folder + "/etc/VOREX/ports.conf", "w") as f:
        f.write("[Ports]\n" + "".join(f"COM{n + 1}={os.ttyname(s)}\n" for n, (m, s) in enumerate(pairs)))
    before = [termios.tcgetattr(s) for m, s in pairs]
    for m, s in pairs:
        os.set_blocking(m, False)
    env = dict(os.environ, XDG_CONFIG_DIRS=folder + "/etc", XDG_CONFIG_HOME=folder + "/home")
    changed = 0
    for _ in range(rounds):
        program = subprocess.Popen([build + "/tools/telmax-cmd", "scan", "--no-lock", "--parallel"], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(random.uniform(0.0, 0.4))
        program.send_signal(sig)
        program.wait()
        for (m, s), was in zip(pairs, before):
            try:
                while os.read(m, 4096):
                    pass
            except OSError:
                pass
            exclusive = struct.unpack("i", fcntl.ioctl(s, TIOCGEXCL, b"\0" * 4))[0]
            if exclusive or termios.tcgetattr(s) != was:
                changed += 1
                fcntl.ioctl(s, termios.TIOCNXCL)
                termios.tcsetattr(s, termios.TCSANOW, was)
    print(f"{'telmax-cmd scan --parallel, 16 silent ptys':44s} {signal.Signals(sig).name:7s} {rounds} rounds;"
          f" ports left raw or exclusive: {changed}")
    for m, s in pairs:
        os.close(m)
        os.close(s)


window = [build + "/tests/app/tst_signal_restore", "--as-program"]
test_line = "E00GVOREX PRINT TEST."
for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    run("telmax-config, in the continuous test", window, sig, test_line)
run("telmax-cmd, silent module, E00B x100", [build + "/tools/telmax-cmd", "COM3"] + ["E00B"] * 100,
    signal.SIGTERM, "E00B", ["--silent"])
run("telmax-cmd scan test (Ctrl+C ends the pass)", [build + "/tools/telmax-cmd", "scan", "test"],
    signal.SIGINT, test_line)
for sig in (signal.SIGINT, signal.SIGTERM):
    side_by_side_rounds(sig)
