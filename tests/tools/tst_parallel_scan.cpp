// telmax-cmd scan --parallel on a bench of sixteen pseudo-terminals: silent ones, modules and a
// busy one. The side-by-side search must give the one-at-a-time search's answer and store what it
// stores, and leave every port it opened as it found it.
#include <QtTest>

#include <map>
#include <memory>
#include <sys/file.h>
#include <unistd.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "support/pty_util.h"
#include "support/sim_fixture.h"
#include "support/temporary_store.h"

using testsupport::PtyPair;
using testsupport::SimProcess;

namespace {

struct Run {
    int exitCode = -1;
    QJsonObject result;
    QString err;
};

bool sameTermios(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag
        && cfgetospeed(&a) == cfgetospeed(&b) && a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

// COM1-COM16 as ptys: modules (telmax-sim at a line setting) where asked, one port held by another
// program, the rest silent; where asked, a port named by a symbolic link to a module's pty (as
// /dev/serial/by-id names an adapter). The test keeps a descriptor of its own on every port, to
// look at it.
class Bench {
public:
    Bench(const std::map<int, QString> &modules, int busy, const std::map<int, int> &linksToModules = {})
    {
        // The simulators first: started later, they would inherit the test's descriptors.
        std::map<int, std::string> devices;
        for (const auto &[n, line] : modules) {
            auto sim = std::make_unique<SimProcess>(QStringList{"--line", line, "--serial",
                                                                QString("MOD%1").arg(n, 5, 10, QChar('0'))});
            devices[n] = sim->device();
            m_sims.push_back(std::move(sim));
        }
        QByteArray ports = "[Ports]\n";
        for (int n = 1; n <= 16; ++n) {
            std::string device;
            if (devices.count(n)) {
                device = devices[n];
            } else if (linksToModules.count(n)) {
                device = QFile::encodeName(m_links.filePath(QString("by-id-COM%1").arg(n))).toStdString();
                ::symlink(devices[linksToModules.at(n)].c_str(), device.c_str());
            } else {
                auto pty = std::make_unique<PtyPair>();
                device = pty->slavePath();
                if (n == busy)
                    ::flock(pty->slave(), LOCK_EX | LOCK_NB);
                m_ptys.push_back(std::move(pty));
            }
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            termios t{};
            ::tcgetattr(fd, &t);
            m_watched[n] = {fd, t};
            ports += "COM" + QByteArray::number(n) + "=" + QByteArray::fromStdString(device) + "\n";
        }
        m_store.writePorts(ports);
    }
    ~Bench()
    {
        for (const auto &[n, watched] : m_watched)
            ::close(watched.first);
    }

    bool ready() const
    {
        for (const auto &sim : m_sims)
            if (!sim->started())
                return false;
        return m_watched.size() == 16;
    }
    const testsupport::TemporaryStore &store() const { return m_store; }

    Run scan(const QStringList &options) const
    {
        Run r;
        QProcess p;
        p.setProcessEnvironment(m_store.environment());
        p.start(qEnvironmentVariable("TELMAX_CMD"), QStringList{"--json", "scan", "--no-lock"} + options);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.result = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    // The ports that are not as they were before the scan: settings, exclusivity or a lock left.
    QStringList changedPorts(int busy) const
    {
        QStringList changed;
        for (const auto &[n, watched] : m_watched) {
            termios now{};
            int exclusive = -1;
            ::tcgetattr(watched.first, &now);
            ::ioctl(watched.first, TIOCGEXCL, &exclusive);
            const bool locked = n != busy && ::flock(watched.first, LOCK_EX | LOCK_NB) != 0;
            if (n != busy)
                ::flock(watched.first, LOCK_UN);
            if (!sameTermios(watched.second, now) || exclusive != 0 || locked)
                changed << QString("COM%1").arg(n);
        }
        return changed;
    }

    QStringList stored() const
    {
        return {m_store.valueText("ScanCommNo"), m_store.valueText("ScanBaudRateNo"), m_store.valueText("ScanBaudRate")};
    }

private:
    QTemporaryDir m_links;
    testsupport::TemporaryStore m_store;
    std::vector<std::unique_ptr<SimProcess>> m_sims;
    std::vector<std::unique_ptr<PtyPair>> m_ptys;
    std::map<int, std::pair<int, termios>> m_watched;
};

} // namespace

class TestParallelScan : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qEnvironmentVariable("TELMAX_CMD").isEmpty()); }

    // A side-by-side search that took the first port to answer instead of the lowest, stored
    // another setting, was held up by a busy port, or left a port it opened raw or exclusive.
    void moduleAtAHighPortAndALateSetting()
    {
        Bench bench({{15, "10"}}, 7);
        QVERIFY(bench.ready());
        const Run r = bench.scan({"--parallel"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.result.value("port").toString(), QString("COM15"));
        QCOMPARE(r.result.value("line").toString(), QString("115200,n,8,1"));
        QCOMPARE(r.result.value("serial").toString(), QString("MOD00015"));
        QVERIFY(r.result.value("parallel").toBool());
        QCOMPARE(bench.stored(), QStringList({"15", "10", "115200,n,8,1"}));
        QVERIFY2(r.err.contains(QRegularExpression("COM7 .*busy")), qPrintable(r.err));
        QCOMPARE(bench.changedPorts(7), QStringList());
    }

    void lowerPortWinsAsOneAtATime()
    {
        // COM4's module answers at the first setting, COM3's only at the ninth: COM3 is the answer.
        Bench bench({{3, "8"}, {4, "1"}}, 9);
        QVERIFY(bench.ready());
        const Run sideBySide = bench.scan({"--parallel"});
        const QStringList storedSideBySide = bench.stored();
        bench.store().write("");
        const Run oneAtATime = bench.scan({});
        QCOMPARE(sideBySide.exitCode, 0);
        QCOMPARE(oneAtATime.exitCode, 0);
        for (const char *field : {"port", "line", "serial", "id", "version"})
            QCOMPARE(sideBySide.result.value(field), oneAtATime.result.value(field));
        QCOMPARE(sideBySide.result.value("port").toString(), QString("COM3"));
        QCOMPARE(storedSideBySide, bench.stored());
        QCOMPARE(bench.changedPorts(9), QStringList());
    }

    // COM3 a link to the adapter that is also COM5: both were opened at once, the loser found
    // the port busy and blamed another program for the scan's own thread, and now and then
    // COM5 won and was stored.
    void twoNumbersOfOneDeviceSearchedOnceUnderTheLower()
    {
        Bench bench({{5, "8"}}, 0, {{3, 5}});
        QVERIFY(bench.ready());
        const Run r = bench.scan({"--parallel"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.result.value("port").toString(), QString("COM3"));
        QCOMPARE(bench.stored(), QStringList({"3", "8", "57600,n,8,1"}));
        QVERIFY2(r.err.contains(QRegularExpression("COM5 /dev/\\S+: the same device as COM3\n")), qPrintable(r.err));
        QVERIFY2(!r.err.contains("busy"), qPrintable(r.err));
        QCOMPARE(bench.changedPorts(0), QStringList());
    }

    // A module that hung up in the middle of a scan read as one that was never there: the scan
    // said "Module Not Find" and nothing of the port that went away.
    void portThatWentAwayIsNamed_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("one at a time") << QStringList{};
        QTest::newRow("side by side") << QStringList{"--parallel"};
    }
    void portThatWentAwayIsNamed()
    {
        QFETCH(QStringList, options);
        TELMAX_START_SIM(sim, 3, {"--silent", "--hangup-after", "2"});
        QProcess p;
        p.setProcessEnvironment(sim.environment());
        p.start(qEnvironmentVariable("TELMAX_CMD"), QStringList{"scan", "--no-lock"} + options);
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 3);   // no module found
        const QString device = QRegularExpression::escape(QString::fromStdString(sim.device()));
        QVERIFY2(err.contains(QRegularExpression("COM3:? " + device + ": went away")), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestParallelScan)
#include "tst_parallel_scan.moc"
