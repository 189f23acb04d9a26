// telmax-cmd on a production line, against telmax-sim on pseudo-terminals: every module on every
// lead (scan --all, --all VERB, set-id NN+), ports that are never touched (Exclude=), a station
// that waits for each unit (watch), the record of each unit (--audit) and a change read back
// (--verify).
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include "support/pty_util.h"
#include "support/sim_fixture.h"
#include "support/temporary_store.h"

using testsupport::PtyPair;
using testsupport::SimProcess;
using testsupport::TemporaryStore;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runCmd(const QStringList &args, const QProcessEnvironment &env)
{
    Run r;
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("TELMAX_CMD"), args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QList<QJsonObject> jsonLines(const QByteArray &text)
{
    QList<QJsonObject> out;
    for (const QByteArray &line : text.split('\n'))
        if (!line.isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList frameTexts(const SimProcess &sim)
{
    QStringList frames;
    for (const QJsonObject &o : sim.received())
        frames << o.value("text").toString();
    return frames;
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// A pty that must stay untouched: whether anything opened its device, and what reached its master.
class Untouched {
public:
    Untouched() : m_watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(m_watch, m_pty.slavePath().c_str(), IN_OPEN);
        tcgetattr(m_pty.slave(), &m_before);
    }
    ~Untouched() { ::close(m_watch); }
    const std::string &device() const { return m_pty.slavePath(); }
    // "" when untouched, else what happened to it.
    QString touched() const
    {
        char events[256];
        unsigned char byte;
        termios now{};
        tcgetattr(m_pty.slave(), &now);
        if (::read(m_watch, events, sizeof events) > 0)
            return QStringLiteral("opened");
        if (::read(m_pty.master(), &byte, 1) == 1)
            return QStringLiteral("sent a byte");
        if (cfgetospeed(&now) != cfgetospeed(&m_before) || now.c_cflag != m_before.c_cflag)
            return QStringLiteral("line settings changed");
        return {};
    }

private:
    PtyPair m_pty;
    int m_watch;
    termios m_before{};
};

// A line of leads: telmax-sim at some COM numbers, the others naming devices that do not exist,
// plus the ports given as devices of the test's own; ports.conf in a store of its own.
class Line {
public:
    explicit Line(const std::map<int, QStringList> &modules)
    {
        for (const auto &[n, options] : modules)
            m_sims[n] = std::make_unique<SimProcess>(options);
    }
    bool ready() const
    {
        return std::all_of(m_sims.begin(), m_sims.end(), [](const auto &s) { return s.second->started(); });
    }
    SimProcess &sim(int n) { return *m_sims.at(n); }
    // ports.conf: the modules, then devices, the rest missing; and the Exclude= lines given.
    void writePorts(const std::map<int, std::string> &devices, const QByteArray &machineExtra = {},
                    const QByteArray &userExtra = {})
    {
        QByteArray ports = "[Ports]\n" + machineExtra;
        for (int n = 1; n <= 16; ++n) {
            std::string device = "/nonexistent/tty" + std::to_string(n);
            if (m_sims.count(n))
                device = m_sims.at(n)->device();
            else if (devices.count(n))
                device = devices.at(n);
            ports += "COM" + QByteArray::number(n) + "=" + QByteArray::fromStdString(device) + "\n";
        }
        m_store.writePorts(ports);
        if (!userExtra.isEmpty())
            m_store.writePorts("[Ports]\n" + userExtra, TemporaryStore::User);
    }
    const TemporaryStore &store() const { return m_store; }
    QProcessEnvironment environment() const { return m_store.environment(); }

private:
    std::map<int, std::unique_ptr<SimProcess>> m_sims;
    TemporaryStore m_store;
};

} // namespace

class TestProductionLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qEnvironmentVariable("TELMAX_CMD").isEmpty()); }

    // A search for every module that stopped at the first, missed one at another line setting,
    // listed them out of port order or stored one of them; verbs run on one module only; set-id
    // 10+ giving one ID twice or counting out of port order; a silent or an excluded port
    // reported as a module, and the excluded port opened at all.
    void everyModuleOnEveryLead()
    {
        Line line({{2, {"--serial", "MOD00002"}}, {5, {"--serial", "MOD00005", "--line", "57600,n,8,1"}},
                   {9, {"--serial", "MOD00009", "--id", "33"}}});
        QVERIFY(line.ready());
        const PtyPair silent;
        const Untouched excluded;
        line.writePorts({{7, silent.slavePath()}, {11, excluded.device()}},
                        "Exclude=" + QByteArray::fromStdString(excluded.device()) + "\n");

        const Run scan = runCmd({"--json", "scan", "--all", "--no-lock"}, line.environment());
        QCOMPARE(scan.exitCode, 0);
        const QList<QJsonObject> found = jsonLines(scan.out.toUtf8());
        QStringList seen;
        for (const QJsonObject &o : found)
            seen << o.value("port").toString() + " " + o.value("line").toString() + " " + o.value("serial").toString()
                        + " " + o.value("id").toString() + " " + o.value("version").toString();
        QCOMPARE(seen, QStringList({"COM2 19200,n,8,1 MOD00002 01 03.10-07", "COM5 57600,n,8,1 MOD00005 01 03.10-07",
                                    "COM9 19200,n,8,1 MOD00009 33 03.10-07"}));
        QVERIFY2(scan.err.contains(QRegularExpression("COM11 \\S+: excluded by Exclude=")), qPrintable(scan.err));
        QCOMPARE(line.store().valueText("ScanCommNo"), QString("<none>"));

        const Run status = runCmd({"--all", "scan", "--no-lock", "status"}, line.environment());
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.out.count(QRegularExpression("^COM(2|5|9) +status +ok ", QRegularExpression::MultilineOption)), 3);

        const Run ids = runCmd({"--all", "scan", "--no-lock", "set-id", "10+"}, line.environment());
        QCOMPARE(ids.exitCode, 0);
        QVERIFY(frameTexts(line.sim(2)).contains("E00CMOD0000210"));
        QVERIFY(frameTexts(line.sim(5)).contains("E00CMOD0000511"));
        QVERIFY(frameTexts(line.sim(9)).contains("E00CMOD0000912"));
        QCOMPARE(excluded.touched(), QString());
    }

    // An excluded device opened by a search (one at a time, side by side, the quick check at a
    // remembered port), by an operation or the raw form at it, by --ports, a station or diagnose: the
    // equipment on it gets its lines raised and bytes it must never see. The entry names the
    // device by another name (a link), as by-id does, and comes from the user's ports.conf, which
    // adds to the administrator's.
    void excludedPortNeverOpened_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("one at a time") << QStringList{"scan", "--no-lock"} << 0 << "COM6";
        QTest::newRow("side by side") << QStringList{"scan", "--no-lock", "--parallel"} << 0 << "COM6";
        QTest::newRow("every module") << QStringList{"scan", "--all", "--no-lock"} << 0 << "COM6";
        QTest::newRow("an operation at it") << QStringList{"--port", "COM4", "status"} << 4 << "excluded by Exclude=";
        QTest::newRow("the raw form") << QStringList{"COM4", "E00B"} << 4 << "excluded by Exclude=";
        QTest::newRow("the port listing") << QStringList{"--ports"} << 0 << "excluded by Exclude=";
        QTest::newRow("a station") << QStringList{"watch", "--port", "COM4", "status"} << 4 << "excluded by Exclude=";
        // diagnose named an excluded port "missing", and sent the technician looking for a lead.
        QTest::newRow("a diagnosis") << QStringList{"--json", "diagnose"} << 4 << "\"finding\":\"excluded\"";
    }
    void excludedPortNeverOpened()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        Line line({{6, {"--serial", "MOD00006"}}});
        QVERIFY(line.ready());
        const Untouched excluded;
        QTemporaryDir dir;
        const QByteArray link = QFile::encodeName(dir.filePath("by-id-ups"));
        QVERIFY(QFile::link(QString::fromStdString(excluded.device()), dir.filePath("by-id-ups")));
        line.writePorts({{4, excluded.device()}}, "Exclude=usb:0403:6015, bogus\n",
                        "Exclude=\"" + link + "\", serial:NOSUCH\n");
        // The module was last found at COM4: the quick check goes there first.
        QVERIFY(line.store().write("[General]\nScanCommNo=4\nScanBaudRateNo=5\nScanBaudRate=\"19200,e,8,1\"\n"));
        const Run r = runCmd(args, line.environment());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2((r.out + r.err).contains(said), qPrintable(r.out + r.err));
        QCOMPARE(r.err.count("Exclude entry \"bogus\""), 1);
        QCOMPARE(excluded.touched(), QString());
    }

    // A station that recorded a unit again while it stayed, missed the next unit when it replaced
    // the first between two checks or once it had gone, did a unit again that this run did
    // already, gave the next unit the same ID, or ended in the middle of a unit on Ctrl+C.
    void stationWaitsForEachUnit()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("module");
        const QString audit = dir.filePath("line.jsonl");
        TemporaryStore store;
        QVERIFY(store.writePorts("[Ports]\nCOM3=" + QFile::encodeName(link) + "\n"));
        QProcess watch;
        watch.setProcessEnvironment(store.environment());
        watch.start(qEnvironmentVariable("TELMAX_CMD"),
                    {"watch", "--port", "COM3", "--audit", audit, "set-id", "10+", "status"});
        QVERIFY(watch.waitForStarted());
        QByteArray out, err;
        const auto records = [&] { return jsonLines(fileBytes(audit)).size(); };
        const auto said = [&](bool onStdout, const char *what) {
            return waitFor([&] {
                out += watch.readAllStandardOutput();
                err += watch.readAllStandardError();
                return (onStdout ? out : err).contains(what);
            }, 15000);
        };

        auto unit = std::make_unique<SimProcess>(QStringList{"--serial", "UNIT0001", "--link", link});
        QVERIFY(said(true, "UNIT0001  done"));
        QCOMPARE(records(), 1);
        // It stays: the station checks it again and again, and records nothing more.
        QVERIFY(unit->waitForLog([](const QList<QJsonObject> &log) {
            int checks = 0;
            for (const QJsonObject &o : log)
                checks = o.value("text").toString() == "E00F" ? 0 : checks + (o.value("text").toString() == "E00B");
            return checks >= 3;
        }, 10000));
        QCOMPARE(records(), 1);

        // It is swapped for the next at once, between two checks (a check has just been made,
        // and the next is a second after it), and the next goes in its turn.
        QTest::qWait(300);
        unit.reset();
        unit = std::make_unique<SimProcess>(QStringList{"--serial", "UNIT0002", "--link", link});
        QVERIFY(said(true, "UNIT0002  done"));
        unit.reset();
        QVERIFY(said(false, "UNIT0002  gone"));
        unit = std::make_unique<SimProcess>(QStringList{"--serial", "UNIT0001", "--link", link});
        QVERIFY(said(true, "UNIT0001  done already in this run: refused"));

        ::kill(pid_t(watch.processId()), SIGINT);
        QVERIFY(watch.waitForFinished(10000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
        QStringList units;
        for (const QJsonObject &o : jsonLines(fileBytes(audit)))
            units << o.value("serial").toString() + " " + o.value("id_after").toString();
        QCOMPARE(units, QStringList({"UNIT0001 10", "UNIT0002 11"}));
    }

    // Ctrl+C at the station's terminal (to its whole process group) ended the unit in progress
    // half done: its run got the signal too, the printing stopped and no record was written.
    void ctrlCEndsAfterTheUnitInProgress()
    {
        TELMAX_START_SIM(sim, 3);
        QTemporaryDir dir;
        const QString audit = dir.filePath("line.jsonl");
        QProcess watch;
        watch.setProcessEnvironment(sim.environment());
        // A process group of its own, as a shell gives a command, for a Ctrl+C to reach all of it.
        watch.start("setsid", {qEnvironmentVariable("TELMAX_CMD"), "watch", "--port", "COM3", "--audit", audit,
                               "test", "--count", "4"});
        QVERIFY(watch.waitForStarted());
        const auto printing = [](const QJsonObject &o) { return o.value("text") == "E00GVOREX PRINT TEST."; };
        QVERIFY(sim.waitForLog([&](const QList<QJsonObject> &log) { return std::any_of(log.begin(), log.end(), printing); },
                               15000));
        QCOMPARE(::kill(-pid_t(watch.processId()), SIGINT), 0);
        QVERIFY(watch.waitForFinished(15000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
        QCOMPARE(sim.paper(), QByteArray("VOREX PRINT TEST.\r\n").repeated(4));
        const QList<QJsonObject> records = jsonLines(fileBytes(audit));
        QCOMPARE(records.size(), 1);
        QVERIFY(records[0].value("ok").toBool());
    }

    // Two stations appending to one record lost a line (each writing at the offset it opened
    // the file at) or mixed two; a record that said the simulator was a real module, or lacked
    // a field of its schema.
    void twoStationsOneRecord()
    {
        Line line({{5, {"--serial", "UNITA005"}}, {6, {"--serial", "UNITB006", "--id", "07"}}});
        QVERIFY(line.ready());
        const PtyPair silent;   // a port this test holds: no module, and no simulator behind it
        line.writePorts({{7, silent.slavePath()}});
        QTemporaryDir dir;
        const QString audit = dir.filePath("line.jsonl");
        for (int round = 0; round < 3; ++round) {
            QProcess a, b;
            for (auto [p, port, station] : {std::tuple{&a, "COM5", "A"}, std::tuple{&b, "COM6", "B"}}) {
                p->setProcessEnvironment(line.environment());
                p->start(qEnvironmentVariable("TELMAX_CMD"), {"--audit", audit, "--station", station, "--operator",
                                                              "Ann", "--port", port, "status"});
            }
            QVERIFY(a.waitForFinished(20000) && b.waitForFinished(20000));
            QCOMPARE(a.exitCode() + b.exitCode(), 0);
        }
        QCOMPARE(runCmd({"--audit", audit, "--port", "COM7", "status"}, line.environment()).exitCode, 1);

        const QList<QByteArray> lines = fileBytes(audit).split('\n');
        QCOMPARE(lines.size(), 8);   // seven records and the end of the last
        QCOMPARE(lines.last(), QByteArray());
        const QString version = runCmd({"--version"}, line.environment()).out.trimmed().section(' ', 1);
        for (int i = 0; i < 6; ++i) {
            QJsonParseError error;
            const QJsonObject r = QJsonDocument::fromJson(lines[i], &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, lines[i].constData());
            const bool a = r.value("station").toString() == "A";
            QCOMPARE(r.value("schema").toInt(), 1);
            const QRegularExpression utc("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$");
            QVERIFY(utc.match(r.value("time").toString()).hasMatch());
            QCOMPARE(r.value("operator").toString(), QString("Ann"));
            QCOMPARE(r.value("program").toObject(), QJsonObject({{"name", "telmax-cmd"}, {"version", version}}));
            QCOMPARE(r.value("port").toString(), QString(a ? "COM5" : "COM6"));
            QCOMPARE(r.value("device").toString(), QString::fromStdString(line.sim(a ? 5 : 6).device()));
            QCOMPARE(r.value("adapter").toObject(), QJsonObject({{"driver", "pty"}, {"peer", "telmax-sim"}}));
            QCOMPARE(r.value("serial").toString(), QString(a ? "UNITA005" : "UNITB006"));
            QCOMPARE(r.value("version").toString(), QString("03.10-07"));
            QCOMPARE(r.value("id_before").toString() + r.value("id_after").toString(), QString(a ? "0101" : "0707"));
            QCOMPARE(r.value("line_before").toString() + " " + r.value("line_after").toString(),
                     QString("19200,e,8,1 19200,e,8,1"));
            QCOMPARE(r.value("results").toArray(),
                     QJsonArray({QJsonObject{{"verb", "status"}, {"ok", true}, {"message", "Get Module Status Ok"}}}));
            QVERIFY(r.value("ok").toBool() && r.value("duration_ms").isDouble() && r.value("simulated").toBool());
        }
        const QJsonObject silentRecord = QJsonDocument::fromJson(lines[6]).object();
        QVERIFY2(!silentRecord.value("ok").toBool() && silentRecord.value("serial").isNull()
                     && !silentRecord.value("simulated").toBool(), lines[6].constData());
    }

    // A module that acknowledged set-ID and kept its ID passed as configured: the unit shipped
    // with the wrong ID. --verify reads it back; a change the module did take passes.
    void verifyReadsTheChangeBack_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("verbs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("verifyError");
        QTest::newRow("set-id ignored") << QStringList{"--ignore-set-id"} << QStringList{"set-id", "42"} << 1
                                        << "the module reports ID 01 at 19200,e,8,1, not 42";
        QTest::newRow("factory's ID ignored") << QStringList{"--ignore-set-id", "--id", "05"} << QStringList{"factory"}
                                              << 1 << "the module reports ID 05 at 19200,e,8,1, not 01";
        QTest::newRow("set-id taken") << QStringList{} << QStringList{"set-id", "42"} << 0 << "";
        QTest::newRow("set-baud taken") << QStringList{} << QStringList{"set-baud", "57600,e,8,1"} << 0 << "";
    }
    void verifyReadsTheChangeBack()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, verbs);
        QFETCH(int, exitCode);
        QFETCH(QString, verifyError);
        TELMAX_START_SIM(sim, 5, simOptions);
        QTemporaryDir dir;
        const QString audit = dir.filePath("line.jsonl");
        const Run r = runCmd(QStringList{"--json", "--verify", "--audit", audit, "--port", "COM5"} + verbs, sim.environment());
        QCOMPARE(r.exitCode, exitCode);
        const QJsonObject result = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(result.value("verify_error").toString(), verifyError);
        const QJsonObject record = QJsonDocument::fromJson(fileBytes(audit)).object();
        QCOMPARE(record.value("ok").toBool(), exitCode == 0);
        if (exitCode != 0)
            QCOMPARE(record.value("results").toArray().at(0).toObject().value("error").toString(), verifyError);
    }
};

QTEST_GUILESS_MAIN(TestProductionLine)
#include "tst_production_line.moc"
