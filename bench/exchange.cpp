// One "E00B" exchange against telmax-sim on a pty, through the link, next to a minimal
// raw-termios reference that makes the same five writes with the same pauses and reads the
// reply; and the CPU used while a silent port's exchange waits out its window.
//
//   bench-exchange [PATH-TO-telmax-sim] [ROUNDS]

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "link/comm.h"
#include "link/frame.h"
#include "link/seams.h"
#include "link/termios_line.h"

#include "bench_support.h"

namespace {

using bench::cpuMs;
using bench::nowMs;

struct Stats {
    double median, p10, p90;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::size_t(q * double(v.size() - 1))]; };
    return {at(0.5), at(0.1), at(0.9)};
}

void sleepMs(int ms)
{
    timespec req{0, long(ms) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

// The reference: what any program must do for one exchange at the least.
bool referenceExchange(int fd)
{
    const unsigned char frame[] = {0x09, 'E', '0', '0', 'B', '0', 'E', 0x0D};
    auto put = [&](const unsigned char *p, std::size_t n, int pause) {
        if (write(fd, p, n) != ssize_t(n))
            return false;
        sleepMs(pause);
        return true;
    };
    put(frame, 1, 1);
    put(frame + 1, 4, 5);
    put(frame + 5, 1, 1);
    put(frame + 6, 1, 1);
    put(frame + 7, 1, 1);
    unsigned char buf[64];
    std::size_t got = 0;
    const double start = nowMs();
    while (nowMs() - start < 120.0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 120) > 0) {
            const ssize_t n = read(fd, buf + got, sizeof buf - got);
            if (n > 0) {
                got += std::size_t(n);
                if (buf[got - 1] == 0x0D)
                    return buf[0] == 0x0A;
            }
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string exe = argc > 1 ? argv[1] : TELMAX_SIM_PATH;
    const int rounds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 200;

    bench::SimChild sim(exe);
    if (sim.device.empty()) {
        std::fprintf(stderr, "bench-exchange: could not start %s\n", exe.c_str());
        return 2;
    }
    serial::setPortMap({{3, sim.device}});

    std::vector<double> link, reference;
    int linkFailures = 0, refFailures = 0;
    // Interleaved, so both see the same machine load.
    for (int i = 0; i < rounds; ++i) {
        if (!OpenComm(3, "19200,e,8,1"))
            return 2;
        double t0 = nowMs();
        if (!SendCommand("E00B") || ReplyLength != 16)
            ++linkFailures;
        link.push_back(nowMs() - t0);
        CloseComm();

        const int fd = open(sim.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        tcgetattr(fd, &t);
        const termios saved = t;
        serial::makeRaw(t);
        serial::applyLineSettings("19200,e,8,1", t);
        tcsetattr(fd, TCSANOW, &t);
        t0 = nowMs();
        if (!referenceExchange(fd))
            ++refFailures;
        reference.push_back(nowMs() - t0);
        tcsetattr(fd, TCSANOW, &saved);
        close(fd);
    }
    const Stats l = stats(link), r = stats(reference);
    std::printf("successful E00B exchange over a pty, %d rounds\n", rounds);
    std::printf("  link       median %.2f ms  (p10 %.2f, p90 %.2f)  failures %d\n", l.median, l.p10, l.p90, linkFailures);
    std::printf("  reference  median %.2f ms  (p10 %.2f, p90 %.2f)  failures %d\n", r.median, r.p10, r.p90, refFailures);
    std::printf("  ratio link/reference %.3f  (target <= 1.05; floor of pauses 9 ms)\n", l.median / r.median);

    bench::SimChild silent(exe, {"--silent"});
    serial::setPortMap({{4, silent.device}});
    const int silentRounds = 20;
    if (!OpenComm(4, "19200,e,8,1"))
        return 2;
    const double w0 = nowMs(), c0 = cpuMs();
    for (int i = 0; i < silentRounds; ++i)
        SendCommand("E00B");
    const double wall = nowMs() - w0, cpu = cpuMs() - c0;
    CloseComm();
    std::printf("silent port, %d exchanges\n", silentRounds);
    std::printf("  wall %.1f ms per exchange (floor 9 + 120 = 129 ms), ratio %.3f\n", wall / silentRounds,
                wall / silentRounds / 129.0);
    std::printf("  CPU %.2f%% of one core while waiting (target < 5%%)\n", 100.0 * cpu / wall);
    return 0;
}
