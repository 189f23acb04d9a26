// The side-by-side search against the one-at-a-time search, on many random benches of scripted
// ports: whatever the placement of modules, missing and busy ports, both give the same port, the
// same line setting and the same stored values.

#include <QtTest>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "link/commands.h"
#include "link/frame.h"
#include "link/seams.h"
#include "ops/operations.h"
#include "ops/side_by_side.h"
#include "ops/state.h"
#include "settings/settings.h"
#include "ops_fakes.h"
#include "platform/hooks.h"
#include "support/temporary_store.h"

using namespace opstest;
using testsupport::processStore;

namespace {

// Each thread keeps its own time: a port's search runs on its own clock, as on its own wire. For
// the ports side by side the time also passes for real, scaled down, so that a port with more to
// try ends later than one with less, as on a real bench.
thread_local std::uint32_t t_now = 1000;
std::atomic<int> g_realMicrosPerMs{0};

void pass(std::uint32_t ms)
{
    t_now += ms;
    if (const int scale = g_realMicrosPerMs.load())
        std::this_thread::sleep_for(std::chrono::microseconds(std::int64_t(ms) * scale));
}

// Ports COM1-COM16 as a bench sets them up: missing, busy, silent, or a module at a line setting.
// Safe for the search's threads: each port is one handle with its own input.
class Bench final : public serial::PortBackend {
public:
    enum class Kind { Missing, Busy, Silent, Module };
    struct Port {
        Kind kind = Kind::Silent;
        int index = 5;   // Module: the line setting it answers at
    };
    std::map<int, Port> ports;

    serial::OpenResult open(const std::string &device) override
    {
        serial::OpenResult r;
        const int port = std::stoi(device.substr(3));
        switch (ports[port].kind) {
        case Kind::Missing:
            r.failure = serial::OpenFailure::Missing;
            return r;
        case Kind::Busy:
            r.failure = serial::OpenFailure::Busy;
            return r;
        default:
            break;
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_lines[port] = Line{};
        r.handle = port;
        return r;
    }
    bool applyLineSettings(CommHandleType handle, const std::string &settings) override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_lines[int(handle)].settings = settings;
        return true;
    }
    int readByte(CommHandleType handle, unsigned char *byte) override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        auto &input = m_lines[int(handle)].input;
        if (input.empty()) {
            pass(1);
            return 0;
        }
        *byte = input.front();
        input.pop_front();
        return 1;
    }
    int readByteWithin(CommHandleType handle, unsigned char *byte, std::uint32_t ms) override
    {
        if (readByte(handle, byte) == 1)
            return 1;
        pass(ms);
        return 0;
    }
    void write(CommHandleType handle, const unsigned char *data, std::size_t count) override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Line &line = m_lines[int(handle)];
        for (std::size_t i = 0; i < count; ++i) {
            if (data[i] == 0x09)
                line.frame.clear();
            line.frame.push_back(char(data[i]));
            if (data[i] == 0x0D)
                answer(int(handle), line);
        }
    }
    int outputPending(CommHandleType) override { return 0; }
    void discardInput(CommHandleType handle) override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_lines[int(handle)].input.clear();
    }
    void close(CommHandleType) override {}

private:
    struct Line {
        std::string settings;
        std::string frame;
        std::deque<unsigned char> input;
    };
    // A module answers at its own line setting: "E00B" with its S/N, which names its port, and
    // "E00V" with its version.
    void answer(int port, Line &line)
    {
        const Port &p = ports[port];
        if (p.kind != Kind::Module || line.settings != BaudRateList[std::size_t(p.index)])
            return;
        std::vector<unsigned char> reply;
        if (line.frame == "\x09" "E00B0E\r")
            reply = FakeModule::replyFrame("E01BPORT" + QByteArray::number(port).rightJustified(4, '0').toStdString());
        else if (line.frame == "\x09" "E00V1A\r")
            reply = FakeModule::replyFrame("E01V03.20-01");
        line.input.assign(reply.begin(), reply.end());
    }

    std::mutex m_mutex;
    std::map<int, Line> m_lines;
};

struct Result {
    bool found = false;
    int port = 0;
    int index = -1;
    QString stored;
    bool operator==(const Result &) const = default;
};

QString describe(const Result &r)
{
    return r.found ? QString("COM%1 at %2, stored %3").arg(r.port).arg(r.index).arg(r.stored) : QString("not found");
}

} // namespace

class TestOpsSideBySide : public QObject {
    Q_OBJECT

private:
    static Result scan(Bench &bench, bool locked, int remembered, bool sideBySide)
    {
        processStore().clear();
        ops::runState.reset();
        ScanBaudRateNo = remembered;
        ScanBaudRate = BaudRateList[std::size_t(remembered)];
        FakeView view;
        view.lock = locked;
        platform::HooksGuard hooks(platform::Hooks{[] { return t_now; }, pass, [] {}, [](int, int) {}});
        g_realMicrosPerMs = sideBySide ? 4 : 0;
        serial::SeamsGuard seams(serial::Seams{&bench, [](int n) {
                                                   return n >= 1 && n <= 16 ? "COM" + std::to_string(n) : std::string();
                                               }});
        if (sideBySide)
            ops::scanModuleSideBySide(view, {});
        else
            ops::scanModule(view);
        Result r;
        r.found = ModuleFound;
        if (r.found) {
            r.port = ScanCommNo;
            r.index = ScanBaudRateNo;
            const auto &store = processStore();
            r.stored = store.valueText("ScanCommNo") + "|" + store.valueText("ScanBaudRateNo") + "|"
                       + store.valueText("ScanBaudRate");
        }
        return r;
    }

private slots:
    void initTestCase() { QVERIFY(processStore().isValid()); }

    // A side-by-side search that let a higher port win before a lower one had finished, took a
    // later line setting of a port, or stored other values, would differ from the search one
    // port at a time here.
    void sameAnswerAsOnePortAtATime()
    {
        std::mt19937 random(20261208);
        for (int bench = 0; bench < 150; ++bench) {
            Bench b;
            for (int port = 1; port <= 16; ++port) {
                const int roll = int(random() % 10);
                b.ports[port].kind = roll < 3 ? Bench::Kind::Missing : roll < 4 ? Bench::Kind::Busy : Bench::Kind::Silent;
            }
            const int modules = int(random() % 3);   // none, one or two
            for (int m = 0; m < modules; ++m) {
                const int port = 1 + int(random() % 16);
                b.ports[port] = {Bench::Kind::Module, int(random() % kBaudRateCount)};
            }
            const bool locked = random() % 2 == 0;
            const int remembered = int(random() % kBaudRateCount);
            const Result one = scan(b, locked, remembered, false);
            const Result side = scan(b, locked, remembered, true);
            QVERIFY2(one == side, qPrintable(QString("bench %1 (%2): one at a time %3, side by side %4")
                                                 .arg(bench)
                                                 .arg(locked ? "locked" : "unlocked", describe(one), describe(side))));
        }
    }
};

QTEST_GUILESS_MAIN(TestOpsSideBySide)
#include "tst_ops_side_by_side.moc"
