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
        QTest::newRow("no command") << QStringList{"COM3"} << "usage:";
        QTest::newRow("no arguments") << QStringList{} << "usage:";
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
        if (reason != "usage:")
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
};

QTEST_GUILESS_MAIN(TestTelmaxCmd)
#include "tst_telmax_cmd.moc"
