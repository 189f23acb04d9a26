// One "E00B" exchange against telmax-sim, through the link, next to a minimal reference that
// makes the same five writes with the same pauses with the system's own calls and reads the
// reply (bench/reference_port.h); and the CPU used while a silent port's exchange waits out
// its window.
//
//   bench-exchange [PATH-TO-telmax-sim] [ROUNDS]                   Linux: starts two simulators
//   bench-exchange.exe COM-ANSWERING COM-SILENT [ROUNDS] [default-tick]
//                                                                  Windows: ports whose modules
//                                                                  run elsewhere (one --silent)
//
// Both programs hold the system timer at 1 ms for their run, and so does this one; on Windows
// "default-tick" leaves the system's default tick (15.6 ms) in place, to show what it costs.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "link/comm.h"
#include "link/frame.h"
#include "link/seams.h"
#include "platform/hooks.h"

#include "bench_support.h"
#include "reference_port.h"

namespace {

using bench::cpuMs;
using bench::nowMs;

constexpr const char *kLine = "19200,e,8,1";

struct Stats {
    double median, p10, p90;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::size_t(q * double(v.size() - 1))]; };
    return {at(0.5), at(0.1), at(0.9)};
}

// The link and the reference, interleaved so that both see the same machine load.
int answered(int port, int rounds)
{
    std::vector<double> link, reference;
    int linkFailures = 0, refFailures = 0;
    bench::ReferencePort ref;
    for (int i = 0; i < rounds; ++i) {
        if (!OpenComm(port, kLine))
            return 2;
        double t0 = nowMs();
        if (!SendCommand("E00B") || ReplyLength != 16)
            ++linkFailures;
        link.push_back(nowMs() - t0);
        CloseComm();

        if (!ref.open(serial::resolvePort(port), kLine))
            return 2;
        t0 = nowMs();
        if (!ref.exchange())
            ++refFailures;
        reference.push_back(nowMs() - t0);
        ref.close();
    }
    const Stats l = stats(link), r = stats(reference);
    std::printf("successful E00B exchange, %d rounds\n", rounds);
    std::printf("  link       median %.2f ms  (p10 %.2f, p90 %.2f)  failures %d\n", l.median, l.p10, l.p90, linkFailures);
    std::printf("  reference  median %.2f ms  (p10 %.2f, p90 %.2f)  failures %d\n", r.median, r.p10, r.p90, refFailures);
    std::printf("  ratio link/reference %.3f  (target <= 1.05; floor of pauses 9 ms)\n", l.median / r.median);
    return 0;
}

int silent(int port)
{
    const int rounds = 20;
    if (!OpenComm(port, kLine))
        return 2;
    const double w0 = nowMs(), c0 = cpuMs();
    for (int i = 0; i < rounds; ++i)
        SendCommand("E00B");
    const double wall = nowMs() - w0, cpu = cpuMs() - c0;
    CloseComm();
    std::printf("silent port, %d exchanges\n", rounds);
    std::printf("  wall %.1f ms per exchange (floor 9 + 120 = 129 ms), ratio %.3f\n", wall / rounds, wall / rounds / 129.0);
    std::printf("  CPU %.2f%% of one core while waiting (target < 5%%)\n", 100.0 * cpu / wall);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench-exchange COM-ANSWERING COM-SILENT [ROUNDS] [default-tick]\n");
        return 2;
    }
    const int answering = std::atoi(argv[1]), quiet = std::atoi(argv[2]);
    const int rounds = argc > 3 ? std::max(5, std::atoi(argv[3])) : 200;
    const bool defaultTick = argc > 4 && std::string(argv[4]) == "default-tick";
    std::printf("system timer: %s\n", defaultTick ? "the default tick" : "1 ms (timeBeginPeriod)");
#else
    const std::string exe = argc > 1 ? argv[1] : TELMAX_SIM_PATH;
    const int rounds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 200;
    const bool defaultTick = false;
    bench::SimChild sim(exe), silentSim(exe, {"--silent"});
    if (sim.device.empty() || silentSim.device.empty()) {
        std::fprintf(stderr, "bench-exchange: could not start %s\n", exe.c_str());
        return 2;
    }
    const int answering = 3, quiet = 4;
    serial::setPortMap({{answering, sim.device}, {quiet, silentSim.device}});
#endif
    const auto timer = defaultTick ? nullptr : std::make_unique<platform::TimerResolution>();
    const int status = answered(answering, rounds);
    return status != 0 ? status : silent(quiet);
}
