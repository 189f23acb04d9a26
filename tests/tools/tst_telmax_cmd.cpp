// telmax-cmd as a technician runs it: against telmax-sim, a silent module, a missing device,
// a busy port and a COM number mapped in the settings store.
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "support/sim_fixture.h"

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runCmd(const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    Run r;
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("TELMAX_CMD"), args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Temporary stores where COM5 is the simulator and every other number of the search names a
// device that does not exist, so a scan can never reach a real serial port.
struct ScanStores {
    QTemporaryDir machine;
    QTemporaryDir user;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    explicit ScanStores(const testsupport::SimProcess &sim)
    {
        QDir(machine.path()).mkpath("VOREX");
        QFile ports(machine.path() + "/VOREX/ports.conf");
        if (ports.open(QIODevice::WriteOnly)) {
            ports.write("[Ports]\n");
            for (int n = 1; n <= 16; ++n)
                ports.write(QStringLiteral("COM%1=%2\n")
                                .arg(n)
                                .arg(n == 5 ? QString::fromStdString(sim.device()) : "/nonexistent/tty" + QString::number(n))
                                .toUtf8());
        }
        env.insert("XDG_CONFIG_DIRS", machine.path());
        env.insert("XDG_CONFIG_HOME", user.path());
    }
    QVariant stored(const QString &name) const
    {
        return QSettings(machine.path() + "/VOREX/PRINTConfig.conf", QSettings::IniFormat).value(name);
    }
};

} // namespace

class TestTelmaxCmd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qEnvironmentVariable("TELMAX_CMD").isEmpty()); }

    void everyExchangeVerified()
    {
        testsupport::SimProcess sim({"--serial", "AB345678", "--id", "42", "--version", "01.02-03", "--status", "P"});
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00B", "E00V", "E00F", "E00GHi", "E00H0D0A"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("sent    09 45 30 30 42 30 45 0D"));
        QVERIFY(r.out.contains("S/N     AB345678"));
        QVERIFY(r.out.contains("ID      42"));
        QVERIFY(r.out.contains("version 01.02-03"));
        QVERIFY(r.out.contains("status  P Print paper out!"));
        QCOMPARE(r.out.count("verified ("), 5);
        QCOMPARE(sim.paper(), QByteArray("Hi\r\n"));
    }

    void wrongLineSettingsFail()
    {
        testsupport::SimProcess sim;
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        const Run r = runCmd({"--line", "9600,n,8,1", QString::fromStdString(sim.device()), "E00B"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains("NOT verified: no complete reply"));
    }

    void wrongLengthInfoIsNotTheModule()
    {
        testsupport::SimProcess sim({"--wrong-info-length"});
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00B"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("not 16"));
    }

    void overlongCommandRefused()
    {
        testsupport::SimProcess sim;
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00G" + QString(252, 'x')});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains("refused: 256 bytes"));
        QVERIFY(sim.received().isEmpty());
    }

    void portsThatDoNotOpen_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing device") << QStringList{"/dev/telmax-no-such-port", "E00B"} << "no such device";
        QTest::newRow("COM without a device") << QStringList{"COM40", "E00B"} << "names no device";
        QTest::newRow("no command") << QStringList{"COM3"} << "Usage:";
        QTest::newRow("no arguments") << QStringList{} << "Usage:";
        QTest::newRow("--line without value") << QStringList{"--line"} << "--line needs a value";
    }
    void portsThatDoNotOpen()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        QTemporaryDir xdg;   // an empty settings store: no port map
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_DIRS", xdg.path());
        env.insert("XDG_CONFIG_HOME", xdg.path() + "/home");
        const Run r = runCmd(args, env);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
        if (reason != "Usage:")
            QCOMPARE(r.err.count('\n'), 1);   // one line of reason
    }

    void busyPortNamed()
    {
        testsupport::SimProcess sim;
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        const int fd = ::open(sim.device().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const Run r = runCmd({QString::fromStdString(sim.device()), "E00B"});
        ::close(fd);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("busy"), qPrintable(r.err));
    }

    // COMn goes through the port map in ports.conf, as in the program.
    void comNumberThroughTheSettingsStore()
    {
        testsupport::SimProcess sim({"--id", "07"});
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        QTemporaryDir xdg;
        QVERIFY(QDir(xdg.path()).mkpath("VOREX"));
        QFile conf(xdg.path() + "/VOREX/ports.conf");
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Ports]\nCOM3=" + QByteArray::fromStdString(sim.device()) + "\n");
        conf.close();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_DIRS", xdg.path());
        env.insert("XDG_CONFIG_HOME", xdg.path() + "/home");
        const Run r = runCmd({"COM3", "E00B"}, env);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("ID      07"));
    }

    // The verbs run the window's operations: a scan that searches and stores what it found,
    // then further operations at the found port, as the window runs them.
    void scanFindsAndStores()
    {
        testsupport::SimProcess sim({"--line", "2", "--serial", "SN000005"});
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        ScanStores stores(sim);
        const Run r = runCmd({"scan", "--no-lock"}, stores.env);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("port     COM5") && r.out.contains("line     9600,n,8,1")
                     && r.out.contains("serial   SN000005") && r.out.contains("version  03.10-07"),
                 qPrintable(r.out));
        QVERIFY(r.err.contains("Scan COM : #5"));
        QCOMPARE(stores.stored("ScanCommNo").toInt(), 5);
        QCOMPARE(stores.stored("ScanBaudRateNo").toInt(), 2);
    }

    void verbsInOrderAsJson()
    {
        testsupport::SimProcess sim({"--serial", "TQ123456"});
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        ScanStores stores(sim);
        const Run r = runCmd({"scan", "set-id", "42", "status", "--json"}, stores.env);
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QStringList verbs;
        for (const QString &line : lines) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QVERIFY(o.value("ok").toBool());
            verbs << o.value("verb").toString();
        }
        QCOMPARE(verbs, QStringList({"scan", "set-id", "status"}));
        QVERIFY(lines[1].contains("\"message\":\"Set Module ID Ok\""));
        QVERIFY(lines[2].contains("\"status\":\"Print ok.\""));
        QStringList frames;
        for (const QJsonObject &o : sim.received())
            frames << o.value("text").toString();
        QCOMPARE(frames, QStringList({"E00B", "E00V", "E00B", "E00CTQ12345642", "E00B", "E00F"}));
    }

    void continuousTestCounted()
    {
        testsupport::SimProcess sim;
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        ScanStores stores(sim);
        const Run r = runCmd({"scan", "test", "--count", "3"}, stores.env);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count(QRegularExpression("line \\d printed")), 3);
        QCOMPARE(sim.paper(), QByteArray("VOREX PRINT TEST.\r\n").repeated(3));
    }

    // Exit status 2 for no module to work on, 1 for a module that does not answer.
    void verbsThatCannotSucceed_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("no scan before status") << QStringList() << QStringList({"status"}) << 2 << "no module found yet";
        QTest::newRow("module unplugged") << QStringList({"--silent"}) << QStringList({"--port", "COM5", "status"}) << 1
                                          << "Get Module Status Error";
        QTest::newRow("port missing") << QStringList() << QStringList({"--port", "COM6", "print", "x"}) << 2
                                      << "/nonexistent/tty6: no such device";
    }
    void verbsThatCannotSucceed()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        testsupport::SimProcess sim(simOptions);
        QVERIFY2(sim.started(), qPrintable(sim.errorString()));
        ScanStores stores(sim);
        const Run r = runCmd(args, stores.env);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2((r.out + r.err).contains(said), qPrintable(r.out + r.err));
    }
};

QTEST_GUILESS_MAIN(TestTelmaxCmd)
#include "tst_telmax_cmd.moc"
