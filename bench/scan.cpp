// The module scan against K silent ports (lock box on and off), and a scan that finds a
// simulated module by its search after K silent ports. Prints each run's wall time against the
// floor the protocol sets (per silent exchange 9 ms of pauses plus the 120 ms reply window), as
// a ratio, and the share of one core used while scanning.
//
//   bench-scan [PATH-TO-telmax-sim] [K-LOCKED] [K-UNLOCKED] [side-by-side]     Linux: pseudo-terminals
//   bench-scan.exe [K-LOCKED] [K-UNLOCKED] [side-by-side]                       Windows: COM1-COM16
//                  are silent ports and COM17 a module, all run elsewhere (under Wine, telmax-sim)
//
// With 16 silent ports (K-LOCKED or K-UNLOCKED 16) it also runs the side-by-side search
// (telmax-cmd scan --parallel) over all sixteen, locked and unlocked, against one port's floor;
// "side-by-side" runs only those.

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <pty.h>
#include <unistd.h>
#endif

#include "link/seams.h"
#include "ops/module_view.h"
#include "ops/operations.h"
#include "ops/side_by_side.h"
#include "ops/state.h"
#include "platform/hooks.h"
#include "settings/settings.h"

#include "bench_support.h"

namespace {

using bench::cpuMs;
using bench::nowMs;

constexpr double kSilentExchangeFloorMs = 9.0 + 120.0;
constexpr double kAnsweredExchangeFloorMs = 9.0;
constexpr double kVersionPauseMs = 100.0;

#ifdef _WIN32
// Sixteen silent ports and the module's, as the one who runs the benchmark set them up.
struct SilentPorts {
    std::vector<std::string> paths;
    SilentPorts()
    {
        for (int n = 1; n <= 16; ++n)
            paths.push_back("\\\\.\\COM" + std::to_string(n));
    }
};
const std::string kModuleDevice = "\\\\.\\COM17";
#else
// A pty nobody answers on; both ends stay open so the program's opens and closes see no hang-up.
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
    SilentPty(const SilentPty &) = delete;
    SilentPty &operator=(const SilentPty &) = delete;
};

// Sixteen silent ptys.
struct SilentPorts {
    std::vector<SilentPty> ptys = std::vector<SilentPty>(16);
    std::vector<std::string> paths;
    SilentPorts()
    {
        for (const auto &p : ptys)
            if (!p.path.empty())
                paths.push_back(p.path);
    }
};
#endif

// Just enough window for the scan: the lock box and nothing to show.
class BenchView final : public ops::ModuleView {
public:
    bool lock = true;
    void setPanelText(ops::Field, const QString &) override {}
    QString panelText(ops::Field) const override { return {}; }
    void showReading(ops::Reading, const QString &) override {}
    void clearReadings() override {}
    void setLamp(ops::LampColour) override {}
    void setWindowEnabled(bool) override {}
    void setBusyCursor(bool) override {}
    void SetBusy(bool) override {}
    void selectBaudRate(int) override {}
    int selectedBaudRate() const override { return 5; }
    void setIdPosition(int) override {}
    bool lockChecked() const override { return lock; }
    QString printText() const override { return {}; }
    QString uiText(Text) const override { return {}; }
    void setControlEnabled(ops::Control, bool) override {}
    void setLanguageButtonEnabled(int, bool) override {}
    QString processCaption() const override { return {}; }
    void setProcessCaption(const QString &) override {}
};

void run(const char *name, const std::map<int, std::string> &devices, bool lock, double floorMs, bool expectFound,
         bool sideBySide = false)
{
    serial::SeamsGuard seams(serial::Seams{nullptr, [devices](int n) {
                                               const auto it = devices.find(n);
                                               return it == devices.end() ? std::string() : it->second;
                                           }});
    SetDefaultSettings();   // nothing remembered: no quick check
    BenchView view;
    view.lock = lock;
    const double cpu0 = cpuMs();
    const double t0 = nowMs();
    if (sideBySide)
        ops::scanModuleSideBySide(view, {});
    else
        ops::scanModule(view);
    const double wall = nowMs() - t0;
    const double cpu = cpuMs() - cpu0;
    std::printf("%-40s %9.1f ms  floor %9.1f ms  ratio %.3f (target <= %.2f)  cpu %5.2f %% (target < %d %%)%s\n",
                name, wall, floorMs, wall / floorMs, sideBySide ? 1.10 : 1.05, 100.0 * cpu / wall, sideBySide ? 15 : 5,
                ModuleFound == expectFound ? "" : "  UNEXPECTED RESULT");
}

} // namespace

int main(int argc, char **argv)
{
    // The scan stores what it finds: keep that out of the machine's and the user's own stores
    // (on Windows it is the registry: run it where that does not matter, as in a Wine prefix
    // of its own).
    QTemporaryDir store;
    qputenv("XDG_CONFIG_DIRS", store.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (store.path() + "/home").toLocal8Bit());
    QCoreApplication app(argc, argv);
    const platform::TimerResolution timer;   // as both programs hold it

#ifdef _WIN32
    const int first = 1;   // no simulator to name
#else
    const std::string simPath = argc > 1 ? argv[1] : TELMAX_SIM_PATH;
    const int first = 2;
#endif
    // The search covers COM1 to COM16.
    const int kLocked = argc > first ? std::clamp(std::atoi(argv[first]), 0, 16) : 8;
    const int kUnlocked = argc > first + 1 ? std::clamp(std::atoi(argv[first + 1]), 0, 16) : 2;
    // "side-by-side" after them: only the side-by-side runs.
    const bool sideBySideOnly = argc > first + 2 && std::string(argv[first + 2]) == "side-by-side";

    platform::HooksGuard hooks(platform::Hooks{
        {}, {}, [] { QCoreApplication::processEvents(); }, [](int, int) {}});   // tones not timed

    const SilentPorts ports;
    if (ports.paths.size() != 16) {
        std::fprintf(stderr, "bench-scan: openpty failed\n");
        return 1;
    }
    auto silent = [&](int count) {
        std::map<int, std::string> m;
        for (int i = 0; i < count; ++i)
            m[i + 1] = ports.paths[static_cast<std::size_t>(i)];
        return m;
    };

    std::printf("scan, offscreen, ports that are not listed fail to open at once\n");
    if (kLocked > 0 && !sideBySideOnly)
        run(("lock on, " + std::to_string(kLocked) + " silent ports").c_str(), silent(kLocked), true,
            kLocked * 2 * kSilentExchangeFloorMs, false);
    if (kUnlocked > 0 && !sideBySideOnly)
        run(("lock off, " + std::to_string(kUnlocked) + " silent ports").c_str(), silent(kUnlocked), false,
            kUnlocked * 24 * kSilentExchangeFloorMs, false);

    // Side by side: every port at once, so the floor is one port's, the slowest.
    if (std::max(kLocked, kUnlocked) == 16 || sideBySideOnly) {
        std::printf("side by side, 16 silent ports; the floor is the slowest port's\n");
        run("side by side, lock on, 16 silent ports", silent(16), true, 2 * kSilentExchangeFloorMs, false, true);
        run("side by side, lock off, 16 silent ports", silent(16), false, 24 * kSilentExchangeFloorMs, false, true);
    }
    if (sideBySideOnly)
        return 0;

#ifdef _WIN32
    const std::string moduleDevice = kModuleDevice;
#else
    bench::SimChild sim(simPath);
    if (sim.device.empty()) {
        std::fprintf(stderr, "bench-scan: no simulator at %s\n", simPath.c_str());
        return 0;
    }
    const std::string moduleDevice = sim.device;
#endif
    // The module sits on the port after the silent ones, COM16 at the latest.
    const int before = std::min(kLocked, 15);
    auto withSim = silent(before);
    withSim[before + 1] = moduleDevice;
    // The module answers at the default line setting: one probe, then the version after 100 ms.
    run(("lock on, found after " + std::to_string(before) + " silent").c_str(), withSim, true,
        before * 2 * kSilentExchangeFloorMs + 2 * kAnsweredExchangeFloorMs + kVersionPauseMs, true);
    return 0;
}
