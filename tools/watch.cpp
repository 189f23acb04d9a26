#include "tools/watch.h"

#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "link/commands.h"
#include "link/device_key.h"
#include "link/seams.h"
#include "ops/frame.h"
#include "ops/module_port.h"
#include "ops/module_reading.h"
#include "ops/port_messages.h"
#include "ops/start_up.h"
#include "ops/visible_text.h"
#include "platform/hooks.h"
#include "tools/child_run.h"
#include "tools/console_view.h"
#include "tools/exit_status.h"
#include "tools/interrupt.h"
#include "tools/output.h"
#include "tools/station.h"
#include "tools/unit_command.h"

namespace tools {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kCheckEvery{1000};

struct WatchedPort {
    int number = 0;
    std::string label;    // COMn, or the device path
    int waitLine = 0;     // the line setting a new unit is looked for at
    bool alone = false;   // the only port watched: a port that cannot be used ends the watch
};

class PortWatch {
public:
    PortWatch(const Invocation &inv, int language, Station &station, WatchedPort port)
        : m_inv(inv), m_language(language), m_station(station), m_port(std::move(port))
    {
    }
    void run();

private:
    void waitForUnit();
    void waitUntilGone();
    int doUnit(const std::string &serial);
    void signal(const std::string &serial, bool good, const std::string &what);
    bool usable(const serial::OpenResult &open);

    const Invocation &m_inv;
    int m_language;
    Station &m_station;
    WatchedPort m_port;
    int m_presentLine = -1;   // the unit on the port is watched at this line setting; -1: none
    std::string m_present;    // its S/N
    serial::OpenFailure m_told = serial::OpenFailure::None;
    bool m_unwatched = false;   // a port the port map excludes is left alone for good
};

QString shownSerial(const std::string &serial)
{
    return ops::visibleText(QString::fromLatin1(serial.data(), qsizetype(serial.size())), ops::Backslash::Doubled);
}

void PortWatch::run()
{
    while (!m_station.stopping() && !m_unwatched) {
        const Clock::time_point checked = Clock::now();
        if (m_presentLine < 0)
            waitForUnit();
        else
            waitUntilGone();
        if (!m_station.waitUntil(checked + kCheckEvery))
            break;
    }
}

// A port that cannot be used is told once; the one port watched, unusable for good, ends it.
bool PortWatch::usable(const serial::OpenResult &open)
{
    const serial::OpenFailure f = open.failure;
    if (open.opened() || f == serial::OpenFailure::Missing) {
        m_told = serial::OpenFailure::None;   // a lead unplugged between units is no fault
        return open.opened();
    }
    const bool fatal = m_port.alone && f != serial::OpenFailure::Busy;
    m_unwatched = f == serial::OpenFailure::Excluded;
    if (f != m_told)
        tell(QString::fromStdString(m_port.label) + QStringLiteral(": ") + ops::openFailureText(m_port.label, open)
             + (fatal ? QString() : m_unwatched ? QStringLiteral("; not watched") : QStringLiteral("; watching on")));
    m_told = f;
    if (fatal)
        m_station.stop(kExitPortUnusable);
    return false;
}

void PortWatch::waitForUnit()
{
    const ops::ModuleReading r = ops::readModule(m_port.number, m_port.waitLine, 1, false);
    if (!usable(r.open) || !r.info)
        return;
    m_present = ops::serialOf(*r.info);
    if (m_station.done(m_present) && !m_inv.again) {
        signal(m_present, false, "done already in this run: refused (--again does it again); remove it");
        m_presentLine = m_port.waitLine;
        return;
    }
    m_presentLine = doUnit(m_present);
}

void PortWatch::waitUntilGone()
{
    const ops::ModuleReading r = ops::readModule(m_port.number, m_presentLine, ops::kFrameTries, false);
    // Another S/N: the unit was swapped between two checks, and the next check takes the new one.
    const bool gone = r.open.opened() ? !r.info || r.wentAway || ops::serialOf(*r.info) != m_present
                                      : r.open.failure == serial::OpenFailure::Missing
                                            || r.open.failure == serial::OpenFailure::NoDevice;
    if (!gone)
        return;
    tell(QString::fromStdString(m_port.label) + QStringLiteral("  ") + shownSerial(m_present)
         + QStringLiteral("  gone; waiting for the next unit"));
    m_presentLine = -1;
}

// The unit's run, its results and its signal; the line setting the module now runs at.
int PortWatch::doUnit(const std::string &serial)
{
    const int offset = m_station.takeIdOffset();
    if (lastCountedId(m_inv, offset + 1) > 99) {
        signal(serial, false, "no ID left: set-id has given every ID up to 99");
        m_station.stop(kExitUsage);
        return m_port.waitLine;
    }
    ChildRun child;
    std::vector<std::string> out;
    std::string error;
    int status = kExitUsage;
    if (child.start(unitArguments(m_inv, m_language, m_port.label, m_port.waitLine, offset, false), error))
        status = child.wait([&](const std::string &line) { out.push_back(unitLine(m_port.label, line, m_inv.json)); },
                            [&](const std::string &line) { tellBytes(m_port.label + ": " + line); });
    else
        tell(QStringLiteral("telmax-cmd: ") + QString::fromStdString(error));
    {
        const std::lock_guard<std::mutex> lock(m_station.output());
        for (const std::string &line : out)
            results().write(line + "\n");
    }
    m_station.noteStatus(status);
    if (status != kExitDone) {
        m_station.giveBackIdOffset(offset);
        signal(serial, false, "FAILED (exit status " + std::to_string(status) + "); remove it");
        return m_port.waitLine;
    }
    m_station.markDone(serial);
    signal(serial, true, "done; remove it");
    return lineAfterVerbs(m_inv, m_port.waitLine);
}

// The unit's line, green or red where a terminal shows it, and the window's tone.
void PortWatch::signal(const std::string &serial, bool good, const std::string &what)
{
    const std::lock_guard<std::mutex> lock(m_station.output());
    std::FILE *to = m_inv.json ? stderr : stdout;   // --json keeps stdout for JSON
#ifndef _WIN32
    const bool coloured = ::isatty(::fileno(to)) == 1;
#else
    const bool coloured = false;
#endif
    const std::string text = m_port.label + "  " + local(shownSerial(serial)) + "  " + what;
    const std::string line = coloured ? (good ? "\x1b[1;32m" : "\x1b[1;31m") + text + "\x1b[0m\n" : text + "\n";
    if (to == stdout) {
        results().write(line);
    } else {
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
    platform::Tone(good ? ops::kGoodToneHz : ops::kBadToneHz, ops::kToneMs);
}

// The ports to watch; none, with the reason told, when there is none.
std::vector<WatchedPort> portsToWatch(const Invocation &inv)
{
    std::vector<WatchedPort> ports;
    if (inv.all) {
        std::map<std::string, int> seen;   // a device two numbers name is watched once, under the lower
        for (int n = ops::kFirstSearchPort; n <= ops::kLastSearchPort; ++n) {
            const std::string device = serial::deviceForPort(n);
            if (!device.empty() && seen.emplace(serial::deviceKey(device), n).second)
                ports.push_back({n, serial::portLabel(n), ops::rememberedLineSetting(), false});
        }
        return ports;
    }
    if (!inv.port.empty())
        ops::useNamedPort(inv.port, inv.line);
    const ops::ModulePort port = ops::modulePort();
    if (port.number <= 0) {
        std::fprintf(stderr, "telmax-cmd: watch: no port is remembered: name one with --port COMn, or watch every"
                             " port with --all\n");
        return ports;
    }
    ports.push_back({port.number, serial::portLabel(port.number), port.lineIndex, true});
    return ports;
}

} // namespace

int runWatch(const Invocation &inv, int language)
{
    const std::vector<WatchedPort> ports = portsToWatch(inv);
    if (ports.empty())
        return kExitUsage;
    ConsoleView view(language, false, inv.beep);
    platform::Hooks hooks;
    hooks.tone = [&view](int hz, int ms) { view.tone(hz, ms); };
    hooks.pump = [] {};
    const platform::HooksGuard guard(hooks);

    Station station;
    const InterruptCatch interrupt;
    std::vector<std::thread> threads;
    {
        const serial::EndingSignalsHeld signalsHeld;   // Ctrl+C comes to this thread
        for (const WatchedPort &port : ports)
            threads.emplace_back([&, port] { PortWatch(inv, language, station, port).run(); });
    }
    const QString line = QString::fromLatin1(BaudRateList[std::size_t(ports.front().waitLine)]);
    tell(QStringLiteral("watch: waiting for a module at ")
         + (inv.all ? QStringLiteral("every port") : QString::fromStdString(ports.front().label))
         + QStringLiteral(" (%1); Ctrl+C ends").arg(line));
    while (!station.stopping()) {
        if (InterruptCatch::requested()) {
            tell(QStringLiteral("watch: ending once the units in progress are done"));
            station.stop();
            break;
        }
        platform::SleepMs(100);
    }
    for (std::thread &t : threads)
        t.join();
    return results().ok() ? station.status() : worstExit(station.status(), kExitUnitFault);
}

} // namespace tools
