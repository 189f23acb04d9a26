// scan --all (every module, side by side) over sixteen pseudo-terminals with modules on eight
// and the other eight silent, lock box on and off. Every port goes through its line settings to
// its end, so the search costs what its slowest port costs: a silent port's two presence tests at
// each line setting tried (9 ms of pauses and the 120 ms window each), the floor of the side-by-
// side search. Prints the wall time against that floor, the modules found and the share of one
// core used.
//
//   bench-scan-all [PATH-TO-telmax-sim]

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <memory>
#include <pty.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "link/seams.h"
#include "ops/every_module.h"
#include "platform/hooks.h"
#include "settings/settings.h"

#include "bench_support.h"

namespace {

constexpr double kSilentExchangeFloorMs = 9.0 + 120.0;
constexpr int kPresenceTests = 2;

struct SilentPty {
    int master = -1, slave = -1;
    std::string path;
    SilentPty()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = name;
    }
    ~SilentPty()
    {
        if (slave >= 0)
            close(slave);
        if (master >= 0)
            close(master);
    }
};

void run(const char *name, const std::map<int, std::string> &devices, bool lock, int settings, std::size_t modules)
{
    serial::SeamsGuard seams(serial::Seams{nullptr, [devices](int n) {
                                               const auto it = devices.find(n);
                                               return it == devices.end() ? std::string() : it->second;
                                           }});
    SetDefaultSettings();
    const double floorMs = settings * kPresenceTests * kSilentExchangeFloorMs;
    const double cpu0 = bench::cpuMs();
    const double t0 = bench::nowMs();
    const std::vector<ops::FoundModule> found = ops::findEveryModule(lock, {});
    const double wall = bench::nowMs() - t0;
    const double cpu = bench::cpuMs() - cpu0;
    std::printf("%-36s %8.1f ms  floor %7.1f ms  ratio %.3f (target <= 1.10)  cpu %5.2f %% (target < 15 %%)  "
                "found %zu of %zu%s\n",
                name, wall, floorMs, wall / floorMs, 100.0 * cpu / wall, found.size(), modules,
                found.size() == modules ? "" : "  UNEXPECTED RESULT");
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir store;   // nothing is stored, and nothing of the machine's is read
    qputenv("XDG_CONFIG_DIRS", store.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (store.path() + "/home").toLocal8Bit());
    QCoreApplication app(argc, argv);
    const std::string simPath = argc > 1 ? argv[1] : TELMAX_SIM_PATH;
    platform::HooksGuard hooks(platform::Hooks{{}, {}, [] {}, [](int, int) {}});

    // Modules on the odd ports, silent ptys on the even ones.
    std::vector<std::unique_ptr<bench::SimChild>> sims;
    std::vector<std::unique_ptr<SilentPty>> silent;
    std::map<int, std::string> devices;
    for (int n = 1; n <= 16; ++n) {
        if (n % 2) {
            const std::vector<std::string> options{"--serial", "BENCH0" + std::to_string(10 + n)};
            sims.push_back(std::make_unique<bench::SimChild>(simPath, options));
            devices[n] = sims.back()->device;
        } else {
            silent.push_back(std::make_unique<SilentPty>());
            devices[n] = silent.back()->path;
        }
        if (devices[n].empty()) {
            std::fprintf(stderr, "bench-scan-all: port %d could not be set up (simulator at %s?)\n", n,
                         simPath.c_str());
            return 1;
        }
    }
    std::printf("scan --all, 16 ports: modules on 8 at 19200,e,8,1, 8 silent; the floor is a silent port's\n");
    run("lock on (1 line setting)", devices, true, 1, sims.size());
    run("lock off (12 line settings)", devices, false, 12, sims.size());
    return 0;
}
